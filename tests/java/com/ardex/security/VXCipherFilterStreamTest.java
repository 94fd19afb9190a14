package com.ardex.security;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.util.Arrays;
import java.util.stream.IntStream;
import java.util.stream.Stream;
import javax.crypto.BadPaddingException;
import javax.crypto.IllegalBlockSizeException;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** VXCipherInputStream and VXCipherOutputStream in both modes, whole and damaged streams. */
class VXCipherFilterStreamTest {
    private static final String PROJECT = "Payroll";
    private static final String PASSWORD = "s3cret";
    private static final int ENCRYPT = VXCipher.ENCRYPT_MODE;
    private static final int DECRYPT = VXCipher.DECRYPT_MODE;
    private static final int[] SIZES = {0, 1, 15, 16, 17, 4095, 4096, 4097, (1 << 20) + 3};

    static VXCipher started(int mode, String password) throws VXPrivilegeException {
        VXCipher cipher = new VXCipher(mode, PROJECT, password);
        cipher.initKey();
        return cipher;
    }

    /** How data is handed to an output stream or taken from an input stream. */
    enum Access {
        SINGLE_BYTES(1),
        SEVENS(7),
        THOUSANDS(1000),
        BULK(Integer.MAX_VALUE);

        final int chunk;

        Access(int chunk) {
            this.chunk = chunk;
        }

        void write(OutputStream out, byte[] data) throws IOException {
            if (this == BULK) {
                out.write(data);
                return;
            }
            for (int off = 0; off < data.length; off += chunk) {
                if (chunk == 1)
                    out.write(data[off]);
                else
                    out.write(data, off, Math.min(chunk, data.length - off));
            }
        }

        byte[] read(InputStream in) throws IOException {
            ByteArrayOutputStream all = new ByteArrayOutputStream();
            byte[] buffer = new byte[3 + Math.min(chunk, 3 << 20)]; // reads land at offset 3
            for (;;) {
                if (chunk == 1) {
                    int b = in.read();
                    if (b < 0)
                        break;
                    all.write(b);
                    continue;
                }
                int n = in.read(buffer, 3, buffer.length - 3);
                if (n < 0)
                    break;
                assertNotEquals(0, n);
                all.write(buffer, 3, n);
            }
            return all.toByteArray();
        }
    }

    static Stream<Arguments> sizesAndAccesses() {
        return IntStream.of(SIZES).boxed().flatMap(
                size -> Stream.of(Access.values()).map(access -> Arguments.of(size, access)));
    }

    @ParameterizedTest
    @MethodSource("sizesAndAccesses")
    void bothStreamsRoundTripInBothModes(int size, Access access) throws Exception {
        byte[] plain = VXCipherStreamTest.data(size, size);
        ByteArrayOutputStream sealed = new ByteArrayOutputStream();
        try (OutputStream out = new VXCipherOutputStream(sealed, started(ENCRYPT, PASSWORD))) {
            access.write(out, plain);
        }
        byte[] written = sealed.toByteArray();
        assertArrayEquals(ReferenceStream.encrypt(written, PROJECT, PASSWORD, plain), written);
        byte[] opened = access.read(new VXCipherInputStream(
                new ByteArrayInputStream(written), started(DECRYPT, PASSWORD)));
        assertArrayEquals(VXCipher.decrypt(PROJECT, PASSWORD, written), opened);
        assertArrayEquals(plain, opened);

        byte[] read = access.read(new VXCipherInputStream(
                new ByteArrayInputStream(plain), started(ENCRYPT, PASSWORD)));
        assertArrayEquals(ReferenceStream.encrypt(read, PROJECT, PASSWORD, plain), read);
        ByteArrayOutputStream decrypted = new ByteArrayOutputStream();
        try (OutputStream out = new VXCipherOutputStream(decrypted, started(DECRYPT, PASSWORD))) {
            access.write(out, read);
        }
        assertArrayEquals(plain, decrypted.toByteArray());
    }

    /** Hands out at most {@code piece} bytes per read, as a socket may; counts its closes. */
    static final class PieceInputStream extends ByteArrayInputStream {
        private final int piece;
        int closes;

        PieceInputStream(byte[] bytes, int piece) {
            super(bytes);
            this.piece = piece;
        }

        @Override
        public synchronized int read(byte[] b, int off, int len) {
            return super.read(b, off, Math.min(len, piece));
        }

        @Override
        public void close() {
            closes++;
        }
    }

    static final class ClosingOutputStream extends ByteArrayOutputStream {
        int closes;

        @Override
        public void close() {
            closes++;
        }
    }

    @ParameterizedTest
    @ValueSource(ints = {1, 5, 15, 16, 17, 31})
    void headerMayArriveInPieces(int piece) throws Exception {
        for (int size : new int[] {0, 1, 16, 100}) {
            byte[] plain = VXCipherStreamTest.data(size, piece);
            byte[] sealed = VXCipher.encrypt(PROJECT, PASSWORD, plain);
            assertArrayEquals(plain,
                    Access.SEVENS.read(new VXCipherInputStream(
                            new PieceInputStream(sealed, piece), started(DECRYPT, PASSWORD))));
        }
    }

    /** Damage done to a fixed stream (40 bytes of 'A', 64 bytes) and the failure it gives. */
    static Stream<Arguments> damagedStreams() {
        return Stream.of(Arguments.of("s3cret!", 64, false, BadPaddingException.class),
                Arguments.of(PASSWORD, 0, false, BadPaddingException.class),
                Arguments.of(PASSWORD, 10, false, BadPaddingException.class),
                Arguments.of(PASSWORD, 16, false, BadPaddingException.class),
                Arguments.of(PASSWORD, 48, false, BadPaddingException.class),
                Arguments.of(PASSWORD, 63, false, IllegalBlockSizeException.class),
                Arguments.of(PASSWORD, 64, true, BadPaddingException.class));
    }

    @ParameterizedTest
    @MethodSource("damagedStreams")
    void damagedStreamFailsAtTheEnd(String password, int length, boolean flipLast,
            Class<? extends Exception> expected) throws Exception {
        // A fixed header fixes the key, and with it whether a wrong password happens to pass
        // the padding check; a cut-off last block ends in 'A', which is no valid padding.
        byte[] header = ReferenceStream.header(1_700_000_000L);
        byte[] whole =
                ReferenceStream.encrypt(header, PROJECT, PASSWORD, "A".repeat(40).getBytes());
        byte[] stream = Arrays.copyOf(whole, length);
        if (flipLast)
            stream[length - 1] ^= 1;
        if (length >= VXCipher.HEADER_SIZE) // the same verdict as the one-call helper
            assertThrows(expected, () -> VXCipher.decrypt(PROJECT, password, stream));

        PieceInputStream source = new PieceInputStream(stream, 7);
        InputStream in = new VXCipherInputStream(source, started(DECRYPT, password));
        IOException failure = assertThrows(IOException.class, () -> Access.THOUSANDS.read(in));
        assertInstanceOf(expected, failure.getCause());
        // Later reads fail again instead of reporting a clean end.
        assertInstanceOf(expected, assertThrows(IOException.class, in::read).getCause());
        in.close();
        assertEquals(1, source.closes);

        ClosingOutputStream sink = new ClosingOutputStream();
        OutputStream out = new VXCipherOutputStream(sink, started(DECRYPT, password));
        Access.SEVENS.write(out, stream);
        assertInstanceOf(expected, assertThrows(IOException.class, out::close).getCause());
        assertEquals(1, sink.closes);
    }

    @Test
    void closedStreamsRefuseUseAndCloseOnce() throws Exception {
        ClosingOutputStream sink = new ClosingOutputStream();
        OutputStream out = new VXCipherOutputStream(sink, started(ENCRYPT, PASSWORD));
        out.write(new byte[17]);
        out.close();
        out.close();
        out.flush();
        assertEquals(1, sink.closes);
        assertArrayEquals(new byte[17], VXCipher.decrypt(PROJECT, PASSWORD, sink.toByteArray()));

        PieceInputStream source = new PieceInputStream(sink.toByteArray(), 100);
        InputStream in = new VXCipherInputStream(source, started(DECRYPT, PASSWORD));
        in.close();
        in.close();
        assertEquals(1, source.closes);

        assertThrows(IOException.class, () -> out.write(1));
        assertThrows(IOException.class, () -> out.write(new byte[3], 0, 3));
        assertThrows(IOException.class, in::read);
        assertThrows(IOException.class, () -> in.read(new byte[3], 0, 3));
        assertThrows(IOException.class, () -> in.skip(1));
        assertThrows(IOException.class, in::available);
    }

    @Test
    void flushPassesOnWholeBlocks() throws Exception {
        ClosingOutputStream sink = new ClosingOutputStream();
        OutputStream out = new VXCipherOutputStream(sink, started(ENCRYPT, PASSWORD));
        for (int i = 0; i < 17; i++) out.write(i);
        out.flush();
        assertEquals(32, sink.size()); // header and one block; one byte waits for more
        out.close();
        assertEquals(48, sink.size());
    }

    @ParameterizedTest
    @ValueSource(ints = {1, 15, 16, 4999, 5000, 6000})
    void skipMovesThroughThePlaintext(int wanted) throws Exception {
        byte[] plain = VXCipherStreamTest.data(5000, 3);
        InputStream in = new VXCipherInputStream(
                new PieceInputStream(VXCipher.encrypt(PROJECT, PASSWORD, plain), 1000),
                started(DECRYPT, PASSWORD));
        long skipped = 0;
        for (long n = 1; n > 0 && skipped < wanted; skipped += n) {
            n = in.skip(wanted - skipped);
            assertTrue(in.available() <= plain.length - skipped - n);
        }
        assertEquals(Math.min(wanted, plain.length), skipped);
        assertFalse(in.markSupported());
        assertArrayEquals(
                Arrays.copyOfRange(plain, (int) skipped, plain.length), Access.BULK.read(in));
    }
}
