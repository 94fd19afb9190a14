package com.ardex.security;

import java.lang.reflect.Field;

/**
 * Reads and writes the private field {@code context} of a VXCipher, where the natives keep the
 * stream state, and the integer fields inside that state (big-endian at fixed offsets).
 */
final class ContextField {
    static final int SIZE = 320;
    static final int MODE = 272;
    static final int ROUNDS = 276;
    static final int HEADER_PENDING = 280;
    static final int BUFFERED = 284;

    private static final Field FIELD = contextField();

    private ContextField() {}

    private static Field contextField() {
        try {
            Field field = VXCipher.class.getDeclaredField("context");
            field.setAccessible(true);
            return field;
        } catch (NoSuchFieldException e) {
            throw new AssertionError(e);
        }
    }

    static Object get(VXCipher cipher) {
        try {
            return FIELD.get(cipher);
        } catch (IllegalAccessException e) {
            throw new AssertionError(e);
        }
    }

    static void set(VXCipher cipher, Object value) {
        try {
            FIELD.set(cipher, value);
        } catch (IllegalAccessException e) {
            throw new AssertionError(e);
        }
    }

    /** A copy of the state bytes, to compare with the state after a call. */
    static byte[] snapshot(VXCipher cipher) {
        return ((byte[]) get(cipher)).clone();
    }

    static int readInt(VXCipher cipher, int offset) {
        byte[] state = (byte[]) get(cipher);
        return ((state[offset] & 0xff) << 24) | ((state[offset + 1] & 0xff) << 16)
                | ((state[offset + 2] & 0xff) << 8) | (state[offset + 3] & 0xff);
    }

    static void writeInt(VXCipher cipher, int offset, int value) {
        byte[] state = (byte[]) get(cipher);
        for (int i = 0; i < 4; i++) state[offset + i] = (byte) (value >>> (24 - 8 * i));
    }
}
