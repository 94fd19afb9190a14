package com.ardex.security;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/** Streams through the natives: format, key binding, chunking, the one-call helpers. */
class VXCipherStreamTest {
    private static final String PROJECT = "Payroll";
    private static final String PASSWORD = "s3cret";

    static byte[] data(int size, long seed) {
        byte[] bytes = new byte[size];
        new Random(seed).nextBytes(bytes);
        return bytes;
    }

    /**
     * One whole stream, the input fed in pieces of the given sizes (the last piece takes the
     * rest).
     */
    static byte[] runChunked(VXCipher cipher, byte[] input, int[] pieces) throws Exception {
        cipher.initKey();
        List<byte[]> outputs = new ArrayList<>();
        int offset = 0;
        for (int i = 0; i <= pieces.length; i++) {
            int length = i < pieces.length ? Math.min(pieces[i], input.length - offset)
                                           : input.length - offset;
            outputs.add(cipher.update(input, offset, length));
            offset += length;
        }
        outputs.add(cipher.doFinal());
        return ReferenceStream.concat(outputs.toArray(new byte[0][]));
    }

    static int[] randomPieces(Random random, int total, int first) {
        List<Integer> pieces = new ArrayList<>();
        pieces.add(first);
        for (int sum = first; sum < total;) {
            int piece = random.nextInt(4) == 0 ? 0 : 1 + random.nextInt(40);
            pieces.add(piece);
            sum += piece;
        }
        return pieces.stream().mapToInt(Integer::intValue).toArray();
    }

    static Stream<Arguments> keyInputs() {
        return Stream.of(Arguments.of(null, null), Arguments.of("", ""),
                Arguments.of("payroll", "s3cret"),
                // Only 30 bytes of the project and 31 of the password enter the key.
                Arguments.of("P".repeat(29), "p".repeat(30)),
                Arguments.of("P".repeat(30), "p".repeat(31)),
                Arguments.of("P".repeat(31), "p".repeat(32)),
                Arguments.of("Q".repeat(45), "q".repeat(45)),
                // Modified UTF-8: U+0000 as C0 80, a supplementary character as two 3-byte
                // halves; a multi-byte character cut at the 31-byte limit.
                Arguments.of("x", "nul\u0000inside"), Arguments.of("x", "päss-wörd-€-\uD83D\uDD11"),
                Arguments.of("x", "€€€€€€€€€€€"));
    }

    @ParameterizedTest
    @MethodSource("keyInputs")
    void streamMatchesJavaxReference(String project, String password) throws Exception {
        byte[] plain = data(100, 1);
        // time() reads a coarse clock that may trail currentTimeMillis() by a tick.
        long before = System.currentTimeMillis() / 1000 - 1;
        byte[] stream = new VXCipher(VXCipher.ENCRYPT_MODE, project, password).process(plain);
        long after = System.currentTimeMillis() / 1000;

        byte[] header = Arrays.copyOf(stream, 16);
        assertArrayEquals(ReferenceStream.header(ReferenceStream.headerTime(stream)), header);
        long time = ReferenceStream.headerTime(stream);
        assertTrue(time >= (before & 0xffffffffL) && time <= (after & 0xffffffffL),
                "header time " + time);
        assertArrayEquals(ReferenceStream.encrypt(header, project, password, plain), stream);
        assertArrayEquals(plain, VXCipher.decrypt(project, password, stream));
    }

    @Test
    void projectCaseAndNullDoNotChangeTheKey() throws Exception {
        byte[] plain = data(40, 2);
        byte[] stream = VXCipher.encrypt("payroll", PASSWORD, plain);
        assertArrayEquals(plain, VXCipher.decrypt("PAYROLL", PASSWORD, stream));
        assertArrayEquals(plain, VXCipher.decrypt("PayRoll", PASSWORD, stream));
        byte[] unnamed = VXCipher.encrypt(null, null, plain);
        assertArrayEquals(plain, VXCipher.decrypt("", "", unnamed));
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 1, 15, 16, 17, 31, 32, 33, 48, 255, 4096})
    void outputLengthsFollowTheFormat(int size) throws Exception {
        VXCipher cipher = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        cipher.initKey();
        byte[] first = cipher.update(data(size, 3), 0, size);
        byte[] last = cipher.doFinal();
        // The first update always carries the header; doFinal always emits the padded block.
        assertEquals(16 + size / 16 * 16, first.length);
        assertEquals(16, last.length);
        assertNull(ContextField.get(cipher));
    }

    @Test
    void emptyPlaintextEncryptsToHeaderAndOnePaddingBlock() throws Exception {
        VXCipher cipher = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        cipher.initKey();
        byte[] header = cipher.update(new byte[0], 0, 0);
        byte[] last = cipher.doFinal();
        assertEquals(16, header.length);
        assertArrayEquals(ReferenceStream.encrypt(header, PROJECT, PASSWORD, new byte[0]),
                ReferenceStream.concat(header, last));
    }

    @Test
    void doFinalRightAfterInitKeyStillMakesAWholeStream() throws Exception {
        VXCipher cipher = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        cipher.initKey();
        byte[] stream = cipher.doFinal();
        assertEquals(32, stream.length);
        assertEquals(0, VXCipher.decrypt(PROJECT, PASSWORD, stream).length);
    }

    @Test
    void encryptingUpdateWithoutWholeBlockReturnsNull() throws Exception {
        VXCipher cipher = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        cipher.initKey();
        assertEquals(16, cipher.update(new byte[5], 0, 5).length);
        assertNull(cipher.update(new byte[10], 0, 10));
        assertEquals(16, cipher.update(new byte[1], 0, 1).length);
        assertNull(cipher.update(new byte[0], 0, 0));
    }

    @Test
    void decryptingHoldsTheLastBlockBackForDoFinal() throws Exception {
        byte[] plain = data(10, 4);
        byte[] stream = VXCipher.encrypt(PROJECT, PASSWORD, plain); // header + one block
        VXCipher cipher = new VXCipher(VXCipher.DECRYPT_MODE, PROJECT, PASSWORD);
        cipher.initKey();
        assertNull(cipher.update(stream, 0, 16)); // the header alone
        assertNull(cipher.update(stream, 16, 16)); // the only block, held back
        assertArrayEquals(plain, cipher.doFinal());
    }

    @Test
    void emptyPlaintextDecryptsToNull() throws Exception {
        byte[] stream = VXCipher.encrypt(PROJECT, PASSWORD, new byte[0]);
        VXCipher cipher = new VXCipher(VXCipher.DECRYPT_MODE, PROJECT, PASSWORD);
        cipher.initKey();
        assertNull(cipher.update(stream, 0, stream.length));
        assertNull(cipher.doFinal());
        assertNull(ContextField.get(cipher));
    }

    @Test
    void updatesReadFromTheGivenOffset() throws Exception {
        byte[] plain = data(50, 5);
        byte[] padded = ReferenceStream.concat(data(7, 6), plain, data(9, 7));
        VXCipher encryptor = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        encryptor.initKey();
        byte[] stream =
                ReferenceStream.concat(encryptor.update(padded, 7, 50), encryptor.doFinal());
        assertArrayEquals(
                ReferenceStream.encrypt(Arrays.copyOf(stream, 16), PROJECT, PASSWORD, plain),
                stream);

        // Decrypting, the header too is read from the offset.
        byte[] shifted = ReferenceStream.concat(data(5, 8), stream, data(3, 9));
        VXCipher decryptor = new VXCipher(VXCipher.DECRYPT_MODE, PROJECT, PASSWORD);
        decryptor.initKey();
        byte[] result = ReferenceStream.concat(
                decryptor.update(shifted, 5, stream.length), decryptor.doFinal());
        assertArrayEquals(plain, result);
    }

    @Test
    void anyChunkingGivesTheSameStream() throws Exception {
        Random random = new Random(10);
        for (int round = 0; round < 40; round++) {
            byte[] plain = data(random.nextInt(300), round);
            int[] encryptPieces = randomPieces(random, plain.length, random.nextInt(20));
            VXCipher encryptor = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
            byte[] stream = runChunked(encryptor, plain, encryptPieces);
            String where = "round " + round + ", pieces " + Arrays.toString(encryptPieces);
            assertArrayEquals(
                    ReferenceStream.encrypt(Arrays.copyOf(stream, 16), PROJECT, PASSWORD, plain),
                    stream, where);

            // Decrypting, any pieces once the first has brought the whole header.
            int[] decryptPieces = randomPieces(random, stream.length, 16 + random.nextInt(20));
            VXCipher decryptor = new VXCipher(VXCipher.DECRYPT_MODE, PROJECT, PASSWORD);
            assertArrayEquals(plain, runChunked(decryptor, stream, decryptPieces),
                    where + ", decrypted in " + Arrays.toString(decryptPieces));
        }
    }

    @ParameterizedTest
    @ValueSource(ints = {65535, 65536, 65537, 3 * 65536 + 5})
    void largeSingleUpdatesMatchJavaxReference(int size) throws Exception {
        byte[] plain = data(size, size);
        VXCipher encryptor = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        encryptor.initKey();
        byte[] head = encryptor.update(data(9, 1), 0, 9); // a carry in front of the large piece
        byte[] stream =
                ReferenceStream.concat(head, encryptor.update(plain, 0, size), encryptor.doFinal());
        byte[] expected = ReferenceStream.encrypt(Arrays.copyOf(stream, 16), PROJECT, PASSWORD,
                ReferenceStream.concat(data(9, 1), plain));
        assertArrayEquals(expected, stream);

        VXCipher decryptor = new VXCipher(VXCipher.DECRYPT_MODE, PROJECT, PASSWORD);
        decryptor.initKey();
        byte[] opened = ReferenceStream.concat(
                decryptor.update(stream, 0, stream.length), decryptor.doFinal());
        assertArrayEquals(ReferenceStream.concat(data(9, 1), plain), opened);
    }

    @Test
    void largeStreamRoundTrips() throws Exception {
        byte[] plain = data(3 * 1024 * 1024 + 7, 11);
        int[] pieces = {1, 1024 * 1024, 5, 2 * 1024 * 1024};
        byte[] stream =
                runChunked(new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD), plain, pieces);
        assertEquals(16 + (plain.length / 16 + 1) * 16, stream.length);
        assertArrayEquals(plain, VXCipher.decrypt(PROJECT, PASSWORD, stream));
    }

    @Test
    void passwordIsReadOnceAtTheHeader() throws Exception {
        byte[] plain = data(64, 12);
        VXCipher cipher = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        cipher.initKey();
        byte[] head = cipher.update(plain, 0, 20);
        cipher.setPassword("changed");
        byte[] stream =
                ReferenceStream.concat(head, cipher.update(plain, 20, 44), cipher.doFinal());
        assertArrayEquals(plain, VXCipher.decrypt(PROJECT, PASSWORD, stream));
    }

    @Test
    void initKeyDiscardsTheStreamInProgress() throws Exception {
        VXCipher cipher = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        cipher.initKey();
        cipher.update(data(40, 13), 0, 40);
        cipher.initKey();
        byte[] plain = data(5, 14);
        byte[] restarted = ReferenceStream.concat(cipher.update(plain, 0, 5), cipher.doFinal());
        assertEquals("KELT", new String(restarted, 0, 4, "US-ASCII"));
        assertArrayEquals(plain, VXCipher.decrypt(PROJECT, PASSWORD, restarted));
    }

    /** An input stream that hands out one byte per read, as a slow socket may. */
    static final class TrickleInputStream extends InputStream {
        private final ByteArrayInputStream in;

        TrickleInputStream(byte[] bytes) {
            in = new ByteArrayInputStream(bytes);
        }

        @Override
        public int read() {
            return in.read();
        }

        @Override
        public int read(byte[] b, int off, int len) {
            return len == 0 ? 0 : in.read(b, off, 1);
        }
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 1, 65535, 65536, 65537, 200000})
    void streamHelpersRoundTrip(int size) throws Exception {
        byte[] plain = data(size, 15);
        ByteArrayOutputStream sealed = new ByteArrayOutputStream();
        long written = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD)
                               .process(new ByteArrayInputStream(plain), sealed);
        assertEquals(sealed.size(), written);
        assertEquals(16 + (size / 16 + 1) * 16, written);

        InputStream source = size < 1000 ? new TrickleInputStream(sealed.toByteArray())
                                         : new ByteArrayInputStream(sealed.toByteArray());
        ByteArrayOutputStream opened = new ByteArrayOutputStream();
        new VXCipher(VXCipher.DECRYPT_MODE, PROJECT, PASSWORD).process(source, opened);
        assertArrayEquals(plain, opened.toByteArray());
        assertArrayEquals(plain,
                new VXCipher(VXCipher.DECRYPT_MODE, PROJECT, PASSWORD)
                        .process(sealed.toByteArray()));
    }

    @Test
    void callsOnOneObjectFromManyThreadsStayInSequence() throws Exception {
        VXCipher shared = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        ExecutorService pool = Executors.newFixedThreadPool(4);
        try {
            List<Future<?>> jobs = new ArrayList<>();
            for (int t = 0; t < 4; t++) {
                final int seed = t;
                jobs.add(pool.submit(() -> {
                    for (int i = 0; i < 50; i++) {
                        byte[] plain = data(100 + i, seed * 1000 + i);
                        byte[] stream = shared.process(plain);
                        assertArrayEquals(plain, VXCipher.decrypt(PROJECT, PASSWORD, stream));
                    }
                    return null;
                }));
            }
            for (Future<?> job : jobs) job.get(); // rethrows a failed assertion
        } finally {
            pool.shutdownNow();
        }
    }
}
