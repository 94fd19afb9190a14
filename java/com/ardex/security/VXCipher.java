package com.ardex.security;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.security.GeneralSecurityException;
import javax.crypto.BadPaddingException;
import javax.crypto.IllegalBlockSizeException;

/**
 * Password-keyed stream cipher, implemented by the native library {@code secnative}.
 *
 * <p>An encrypted stream is a 16-byte header (the characters "KELT", the creation time in
 * seconds) followed by AES-128 blocks over the padded data. The key is derived from the header,
 * the project name and the password, so the decrypting side needs the same project name (compared
 * without regard to case, at most its first 30 bytes count) and the same password (at most its
 * first 31 bytes count). The stream is not authenticated: a wrong password or a damaged stream
 * usually shows up only as a {@link BadPaddingException} at the end.
 *
 * <p>Streaming use: set the mode, project and password, call {@link #initKey()}, then {@link
 * #update(byte[], int, int)} for each piece of input, in pieces of any size, and {@link
 * #doFinal()} once at the end. Each returns a new array with the output so far, or null when
 * there is none. When decrypting, the first update must bring the whole 16-byte header. After
 * doFinal, or after any failure of doFinal other than a damaged state, a new stream starts with
 * initKey.
 *
 * <pre>{@code
 * byte[] sealed = VXCipher.encrypt("PAYROLL", password, data);
 * byte[] opened = VXCipher.decrypt("payroll", password, sealed);
 * }</pre>
 *
 * <p>Calls on one object run one at a time (every method synchronizes on the object); separate
 * objects are independent.
 */
public final class VXCipher {
    // The native methods read and write these fields by name and type. Every update and
    // doFinal looks up `context` by name, and the virtual machine searches a class's fields in
    // the order they are declared, so it comes first.
    /** The running stream's state, kept for the natives; null when no stream is open. */
    private Object context;
    private int mode;
    private String project;
    private String password;

    /** Mode of a cipher that encrypts. */
    public static final int ENCRYPT_MODE = 1;
    /** Mode of a cipher that decrypts. */
    public static final int DECRYPT_MODE = 2;

    /**
     * System property naming the library file to load. When it is unset, the library is found by
     * its name, {@code secnative}, on {@code java.library.path}, and failing that the copy that
     * secnative.jar carries for the platform is used.
     */
    public static final String LIBRARY_PATH_PROPERTY = "secnative.library.path";

    private static final int STREAM_BUFFER_SIZE = 64 * 1024;
    /** Length of the header that starts every encrypted stream. */
    static final int HEADER_SIZE = 16;

    static {
        NativeLibrary.load();
    }

    /** A cipher with mode 0: set a mode before {@link #initKey()}. */
    public VXCipher() {}

    public VXCipher(int mode, String project, String password) {
        this.mode = mode;
        this.project = project;
        this.password = password;
    }

    public synchronized int getMode() {
        return mode;
    }

    /**
     * Sets the mode of the next stream: {@link #ENCRYPT_MODE} or {@link #DECRYPT_MODE}. Other
     * values are refused by {@link #initKey()}.
     */
    public synchronized void setMode(int mode) {
        this.mode = mode;
    }

    public synchronized String getProject() {
        return project;
    }

    /** Sets the project name of the next stream; null counts as empty. */
    public synchronized void setProject(String project) {
        this.project = project;
    }

    /**
     * Sets the password. A stream reads it once, when its header is made or read (the first
     * update), so a change has no effect on a stream already past that point. Null counts as
     * empty.
     */
    public synchronized void setPassword(String password) {
        this.password = password;
    }

    /**
     * Starts a new stream with the current mode and project, discarding any stream in progress.
     *
     * @throws VXPrivilegeException "invalid mode" when the mode is neither {@link #ENCRYPT_MODE}
     *     nor {@link #DECRYPT_MODE}; the object is left as it was
     */
    public native synchronized void initKey() throws VXPrivilegeException;

    /**
     * Feeds {@code length} bytes of {@code input} from {@code offset} on to the stream.
     *
     * @return the output of this piece (it starts with the header on the first update when
     *     encrypting), or null when there is none
     * @throws IllegalArgumentException when input is null or the range lies outside it
     * @throws IllegalStateException when no stream is open, when decrypting and the first update
     *     brings fewer than 16 bytes (the stream is kept, so the update can be repeated with more),
     *     or when the stream state is damaged
     */
    public native synchronized byte[] update(byte[] input, int offset, int length);

    /** Feeds the whole of {@code input} to the stream; see {@link #update(byte[], int, int)}. */
    public byte[] update(byte[] input) {
        return update(input, 0, input == null ? 0 : input.length);
    }

    /**
     * Ends the stream: when encrypting, pads and enciphers the rest; when decrypting, deciphers it
     * and checks and strips the padding.
     *
     * @return the last output, or null when there is none
     * @throws IllegalBlockSizeException when decrypting data that is not whole blocks; the stream
     *     is over
     * @throws BadPaddingException when decrypting and the final block is missing or its padding is
     *     wrong, which is what a wrong password or project usually gives; the stream is over
     * @throws IllegalStateException when no stream is open or its state is damaged
     */
    public native synchronized byte[] doFinal()
            throws IllegalBlockSizeException, BadPaddingException;

    /**
     * Runs a whole stream over {@code data} in the current mode.
     *
     * @return the complete output, never null
     */
    public synchronized byte[] process(byte[] data) throws GeneralSecurityException {
        return process(data, 0, data == null ? 0 : data.length);
    }

    /** Runs a whole stream over {@code length} bytes of {@code data} from {@code offset} on. */
    public synchronized byte[] process(byte[] data, int offset, int length)
            throws GeneralSecurityException {
        initKey();
        byte[] body = update(data, offset, length);
        byte[] last = doFinal();
        int bodyLength = body == null ? 0 : body.length;
        int lastLength = last == null ? 0 : last.length;
        byte[] result = new byte[bodyLength + lastLength];
        if (body != null)
            System.arraycopy(body, 0, result, 0, bodyLength);
        if (last != null)
            System.arraycopy(last, 0, result, bodyLength, lastLength);
        return result;
    }

    /**
     * Runs a whole stream from {@code in} to {@code out} in the current mode, reading until the
     * end of {@code in}. Neither stream is closed.
     *
     * @return the number of bytes written to {@code out}
     */
    public synchronized long process(InputStream in, OutputStream out)
            throws IOException, GeneralSecurityException {
        byte[] buffer = new byte[STREAM_BUFFER_SIZE];
        initKey();
        // A decrypting stream's first update must hold the whole header, however the input
        // stream splits its reads.
        int filled = readAtLeast(in, buffer, mode == DECRYPT_MODE ? HEADER_SIZE : 1);
        long written = 0;
        while (filled >= 0) {
            written += write(out, update(buffer, 0, filled));
            filled = in.read(buffer);
        }
        written += write(out, doFinal());
        return written;
    }

    /** Encrypts {@code plaintext} into a complete stream. */
    public static byte[] encrypt(String project, String password, byte[] plaintext)
            throws GeneralSecurityException {
        return new VXCipher(ENCRYPT_MODE, project, password).process(plaintext);
    }

    /** Decrypts a complete stream made by {@link #encrypt}. */
    public static byte[] decrypt(String project, String password, byte[] stream)
            throws GeneralSecurityException {
        return new VXCipher(DECRYPT_MODE, project, password).process(stream);
    }

    /**
     * Reads until the buffer holds at least {@code wanted} bytes or the input ends. Returns the
     * number of bytes read: 0 for an empty input, and less than {@code wanted} only at its end.
     */
    private static int readAtLeast(InputStream in, byte[] buffer, int wanted) throws IOException {
        int filled = 0;
        while (filled < wanted) {
            int n = in.read(buffer, filled, buffer.length - filled);
            if (n < 0)
                break;
            filled += n;
        }
        return filled;
    }

    private static int write(OutputStream out, byte[] bytes) throws IOException {
        if (bytes == null)
            return 0;
        out.write(bytes);
        return bytes.length;
    }
}
