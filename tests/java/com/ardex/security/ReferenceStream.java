package com.ardex.security;

import java.io.ByteArrayOutputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.security.GeneralSecurityException;
import java.security.MessageDigest;
import java.util.Arrays;
import java.util.Locale;
import javax.crypto.Cipher;

/**
 * The stream format rebuilt from javax.crypto, as an independent check of the natives: header,
 * key = first 16 bytes of SHA-1(header, "_ardex", project, password), AES-128-ECB with PKCS #7
 * padding over the data.
 */
final class ReferenceStream {
    static final int HEADER_SIZE = 16;
    private static final int PROJECT_KEY_BYTES = 30;
    private static final int PASSWORD_BYTES = 31;

    private ReferenceStream() {}

    /** "KELT", four zero bytes, the time (big-endian), four zero bytes. */
    static byte[] header(long seconds) {
        byte[] header = new byte[HEADER_SIZE];
        System.arraycopy("KELT".getBytes(StandardCharsets.US_ASCII), 0, header, 0, 4);
        for (int i = 0; i < 4; i++) header[8 + i] = (byte) (seconds >>> (24 - 8 * i));
        return header;
    }

    static long headerTime(byte[] stream) {
        long t = 0;
        for (int i = 8; i < 12; i++) t = (t << 8) | (stream[i] & 0xff);
        return t;
    }

    /** The modified UTF-8 form that the natives read from a Java string. */
    static byte[] modifiedUtf8(String s) {
        if (s == null)
            return new byte[0];
        try {
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            new DataOutputStream(bytes).writeUTF(s);
            byte[] withLength = bytes.toByteArray();
            return Arrays.copyOfRange(withLength, 2, withLength.length);
        } catch (IOException e) {
            throw new AssertionError(e);
        }
    }

    /** Test projects are ASCII, whose upper case does not depend on the locale. */
    static byte[] key(byte[] header, String project, String password)
            throws GeneralSecurityException {
        byte[] name = modifiedUtf8(project == null ? null : project.toUpperCase(Locale.ROOT));
        byte[] secret = modifiedUtf8(password);
        MessageDigest sha1 = MessageDigest.getInstance("SHA-1");
        sha1.update(header, 0, HEADER_SIZE);
        sha1.update("_ardex".getBytes(StandardCharsets.US_ASCII));
        sha1.update(name, 0, Math.min(name.length, PROJECT_KEY_BYTES));
        sha1.update(secret, 0, Math.min(secret.length, PASSWORD_BYTES));
        return Arrays.copyOf(sha1.digest(), 16);
    }

    static byte[] encrypt(byte[] header, String project, String password, byte[] plain)
            throws GeneralSecurityException {
        Cipher aes = Cipher.getInstance("AES/ECB/PKCS5Padding");
        aes.init(Cipher.ENCRYPT_MODE, new RawAesKey(key(header, project, password)));
        return concat(Arrays.copyOf(header, HEADER_SIZE), aes.doFinal(plain));
    }

    static byte[] concat(byte[]... parts) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (byte[] part : parts) {
            if (part != null)
                out.write(part, 0, part.length);
        }
        return out.toByteArray();
    }
}
