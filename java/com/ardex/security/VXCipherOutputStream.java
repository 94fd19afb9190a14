package com.ardex.security;

import java.io.FilterOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.util.Objects;

/**
 * An output stream that runs everything written to it through a {@link VXCipher} and writes the
 * result to the underlying stream. The cipher's stream must have been started with {@link
 * VXCipher#initKey()}, with nothing fed to it yet; it may encrypt or decrypt.
 *
 * <pre>{@code
 * VXCipher cipher = new VXCipher(VXCipher.ENCRYPT_MODE, "PAYROLL", password);
 * cipher.initKey();
 * try (OutputStream out = new VXCipherOutputStream(Files.newOutputStream(file), cipher)) {
 *     out.write(data);
 * }
 * }</pre>
 *
 * <p>The cipher works on 16-byte blocks, so up to 15 bytes (and, when decrypting, the last whole
 * block) wait inside it until more data or the end comes. {@link #close()} ends the stream: it
 * writes the final block (encrypting) or checks and strips the padding (decrypting), then closes
 * the underlying stream. Nothing reaches the underlying stream's end before that, so a stream
 * that is never closed is incomplete.
 */
public class VXCipherOutputStream extends FilterOutputStream {
    /** Single bytes are collected into this many before they go to the cipher. */
    private static final int SMALL_WRITES = 512;

    private final CipherFeed feed;
    private final byte[] small = new byte[SMALL_WRITES];
    private int smallFilled;
    private boolean closed;

    /**
     * @param out the stream that receives the cipher's output
     * @param cipher a cipher whose stream {@link VXCipher#initKey()} has just started
     */
    public VXCipherOutputStream(OutputStream out, VXCipher cipher) {
        super(Objects.requireNonNull(out, "out"));
        this.feed = new CipherFeed(cipher);
    }

    @Override
    public void write(int b) throws IOException {
        ensureOpen();
        if (smallFilled == small.length)
            drainSmallWrites();
        small[smallFilled++] = (byte) b;
    }

    @Override
    public void write(byte[] b, int off, int len) throws IOException {
        ensureOpen();
        if (off < 0 || len < 0 || off > b.length - len)
            throw new IndexOutOfBoundsException(
                    "offset " + off + ", length " + len + ", array length " + b.length);
        drainSmallWrites();
        if (len > 0)
            emit(feed.update(b, off, len));
    }

    /**
     * Passes everything written so far to the cipher and flushes the underlying stream. Bytes
     * that do not yet make a whole block stay in the cipher until more data or {@link #close()}.
     * Does nothing once closed.
     */
    @Override
    public void flush() throws IOException {
        if (closed)
            return;
        drainSmallWrites();
        out.flush();
    }

    /**
     * Ends the cipher's stream, writes its last output and closes the underlying stream; later
     * calls do nothing. The underlying stream is closed even when ending the stream fails.
     *
     * @throws IOException what the underlying stream throws, or, when decrypting, a damaged or
     *     wrongly keyed stream, with the cipher's {@link javax.crypto.BadPaddingException} or
     *     {@link javax.crypto.IllegalBlockSizeException} as cause
     */
    @Override
    public void close() throws IOException {
        if (closed)
            return;
        closed = true;
        // The underlying stream is closed in any case; a failure to close it is added to an
        // earlier one as suppressed.
        try (OutputStream target = out) {
            drainSmallWrites();
            emit(feed.finish());
            target.flush();
        }
    }

    private void drainSmallWrites() throws IOException {
        if (smallFilled == 0)
            return;
        int length = smallFilled;
        smallFilled = 0;
        emit(feed.update(small, 0, length));
    }

    private void emit(byte[] output) throws IOException {
        if (output != null)
            out.write(output, 0, output.length);
    }

    private void ensureOpen() throws IOException {
        if (closed)
            throw new IOException("stream closed");
    }
}
