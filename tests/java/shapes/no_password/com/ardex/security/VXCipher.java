package com.ardex.security;

/**
 * A VXCipher class whose author left out the field {@code password}, for the tests of that
 * failure. It is compiled on its own and loaded by a class loader of its own, together with a
 * copy of the library, beside the real class.
 */
public final class VXCipher {
    public int mode = 1;
    public String project = "P";
    public Object context;

    public static void loadLibrary(String path) {
        System.load(path);
    }

    public native void initKey() throws VXPrivilegeException;

    public native byte[] update(byte[] input, int offset, int length);

    public native byte[] doFinal();
}
