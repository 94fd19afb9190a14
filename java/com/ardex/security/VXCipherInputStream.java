package com.ardex.security;

import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.Objects;

/**
 * An input stream that reads the underlying stream through a {@link VXCipher}: it reads a piece
 * of the underlying stream whenever its output runs out, and ends the cipher's stream when the
 * underlying one ends. The cipher's stream must have been started with {@link VXCipher#initKey()},
 * with nothing fed to it yet; it may encrypt or decrypt.
 *
 * <pre>{@code
 * VXCipher cipher = new VXCipher(VXCipher.DECRYPT_MODE, "PAYROLL", password);
 * cipher.initKey();
 * try (InputStream in = new VXCipherInputStream(Files.newInputStream(file), cipher)) {
 *     // read the plaintext
 * }
 * }</pre>
 *
 * <p>The stream is not authenticated: when decrypting, a wrong password, a damaged or a cut
 * stream shows only at its end. The read that reaches the end then throws an {@link IOException}
 * whose cause is the cipher's {@link javax.crypto.BadPaddingException} or {@link
 * javax.crypto.IllegalBlockSizeException}, and so does every read after it; the end of the stream
 * is never reported for such data. Data read before that point came from the same suspect stream.
 *
 * <p>Mark and reset are not supported.
 */
public class VXCipherInputStream extends FilterInputStream {
    private static final int READ_SIZE = 16 * 1024;
    private static final byte[] EMPTY = new byte[0];

    private final CipherFeed feed;
    private final byte[] input = new byte[READ_SIZE];
    /** The cipher's output not yet handed out: {@code output[outputPosition..]}. */
    private byte[] output = EMPTY;
    private int outputPosition;
    /** Set once the underlying stream has ended and the cipher's stream with it. */
    private boolean finished;
    /** Why the end of the cipher's stream failed; every later read fails again with it. */
    private IOException endFailure;
    private boolean closed;

    /**
     * @param in the stream to read through the cipher
     * @param cipher a cipher whose stream {@link VXCipher#initKey()} has just started
     */
    public VXCipherInputStream(InputStream in, VXCipher cipher) {
        super(Objects.requireNonNull(in, "in"));
        this.feed = new CipherFeed(cipher);
    }

    @Override
    public int read() throws IOException {
        if (!fill())
            return -1;
        return output[outputPosition++] & 0xff;
    }

    @Override
    public int read(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > b.length - len)
            throw new IndexOutOfBoundsException(
                    "offset " + off + ", length " + len + ", array length " + b.length);
        if (len == 0) {
            ensureOpen();
            return 0;
        }
        if (!fill())
            return -1;
        int n = Math.min(len, output.length - outputPosition);
        System.arraycopy(output, outputPosition, b, off, n);
        outputPosition += n;
        return n;
    }

    /**
     * Skips output that is ready, producing more first when none is; returns less than {@code n}
     * only when the output at hand runs out, and 0 only at the end of the stream.
     */
    @Override
    public long skip(long n) throws IOException {
        if (n <= 0) {
            ensureOpen();
            return 0;
        }
        if (!fill())
            return 0;
        int skipped = (int) Math.min(n, output.length - outputPosition);
        outputPosition += skipped;
        return skipped;
    }

    /** The number of bytes that the cipher has already produced and not yet handed out. */
    @Override
    public int available() throws IOException {
        ensureOpen();
        return output.length - outputPosition;
    }

    /** Closes the underlying stream; later calls do nothing. */
    @Override
    public void close() throws IOException {
        if (closed)
            return;
        closed = true;
        output = EMPTY;
        outputPosition = 0;
        in.close();
    }

    @Override
    public boolean markSupported() {
        return false;
    }

    @Override
    public synchronized void mark(int readLimit) {}

    @Override
    public synchronized void reset() throws IOException {
        throw new IOException("mark and reset are not supported");
    }

    /**
     * Makes sure there is output to hand out, reading and feeding the underlying stream as long
     * as the cipher produces none. Returns false at the end of the stream.
     */
    private boolean fill() throws IOException {
        ensureOpen();
        while (outputPosition == output.length) {
            if (endFailure != null)
                throw new IOException(endFailure.getMessage(), endFailure.getCause());
            if (finished)
                return false;
            int n = in.read(input, 0, input.length);
            byte[] produced;
            if (n < 0) {
                finished = true;
                try {
                    produced = feed.finish();
                } catch (IOException e) {
                    endFailure = e;
                    throw e;
                }
            } else {
                produced = feed.update(input, 0, n);
            }
            if (produced != null) {
                output = produced;
                outputPosition = 0;
            }
        }
        return true;
    }

    private void ensureOpen() throws IOException {
        if (closed)
            throw new IOException("stream closed");
    }
}
