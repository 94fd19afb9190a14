package com.ardex.security;

import java.io.IOException;
import javax.crypto.BadPaddingException;
import javax.crypto.IllegalBlockSizeException;

/**
 * Feeds a {@link VXCipher} stream in pieces of any size, from its start to its end. A decrypting
 * cipher needs its whole 16-byte header in the first update; the header is gathered here until
 * it is complete, so callers may hand over as little as one byte at a time.
 */
final class CipherFeed {
    private final VXCipher cipher;
    /** The header gathered so far while decrypting; null once passed on, or when encrypting. */
    private byte[] header;
    private int headerFilled;

    /** Takes a cipher whose stream has been started by {@link VXCipher#initKey()}. */
    CipherFeed(VXCipher cipher) {
        if (cipher == null)
            throw new NullPointerException("cipher");
        this.cipher = cipher;
        if (cipher.getMode() == VXCipher.DECRYPT_MODE)
            header = new byte[VXCipher.HEADER_SIZE];
    }

    /** Feeds {@code length} bytes from {@code offset} on; returns the output, or null. */
    byte[] update(byte[] input, int offset, int length) {
        if (header == null)
            return cipher.update(input, offset, length);
        int taken = Math.min(length, header.length - headerFilled);
        System.arraycopy(input, offset, header, headerFilled, taken);
        headerFilled += taken;
        if (headerFilled < header.length)
            return null;
        byte[] whole = header;
        header = null;
        cipher.update(whole, 0, whole.length); // a header alone yields no output
        return taken == length ? null : cipher.update(input, offset + taken, length - taken);
    }

    /**
     * Ends the stream and returns its last output, or null.
     *
     * @throws IOException when decrypting a stream that is damaged, cut short or made with another
     *     key; its cause is the cipher's {@link BadPaddingException} or {@link
     *     IllegalBlockSizeException}. A stream that ended inside its header has no final block and
     *     fails as such.
     */
    byte[] finish() throws IOException {
        header = null;
        try {
            return cipher.doFinal();
        } catch (BadPaddingException | IllegalBlockSizeException e) {
            throw new IOException("cannot decrypt the end of the stream: " + e.getMessage(), e);
        }
    }
}
