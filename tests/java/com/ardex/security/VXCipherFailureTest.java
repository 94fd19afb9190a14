package com.ardex.security;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrowsExactly;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.stream.Stream;
import javax.crypto.BadPaddingException;
import javax.crypto.IllegalBlockSizeException;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.EnumSource;
import org.junit.jupiter.params.provider.MethodSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Every failure of the natives: the exact exception class and message, and what the object's
 * {@code context} holds afterwards.
 */
class VXCipherFailureTest {
    private static final String PROJECT = "Payroll";
    private static final String PASSWORD = "s3cret";
    private static final String DAMAGED = "buffer is corruptted";
    private static final String NOT_INITIALIZED = "context is not initialized";
    private static final String RANGE = "offset or length outside the input array";
    private static final byte[] PLAIN = VXCipherStreamTest.data(40, 21);

    enum Call {
        UPDATE,
        DO_FINAL;

        Executable on(VXCipher cipher) {
            return this == UPDATE ? () -> cipher.update(new byte[40], 0, 40) : cipher::doFinal;
        }
    }

    /** Where a stream can stand when a call fails. */
    enum State {
        ENCRYPT_PENDING,
        ENCRYPT_STREAMING,
        DECRYPT_PENDING,
        DECRYPT_STREAMING;

        VXCipher make() throws Exception {
            boolean decrypt = this == DECRYPT_PENDING || this == DECRYPT_STREAMING;
            VXCipher cipher = new VXCipher(
                    decrypt ? VXCipher.DECRYPT_MODE : VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
            cipher.initKey();
            if (this == ENCRYPT_STREAMING)
                cipher.update(PLAIN, 0, 20);
            if (this == DECRYPT_STREAMING)
                cipher.update(referenceStream(), 0, 36);
            return cipher;
        }
    }

    /** A stream with a fixed header, so that the same test data decrypts the same every run. */
    static byte[] referenceStream() throws Exception {
        return ReferenceStream.encrypt(
                ReferenceStream.header(0x5F000000L), PROJECT, PASSWORD, PLAIN);
    }

    static <T extends Throwable> void assertFails(Class<T> type, String message, Executable call) {
        T thrown = assertThrowsExactly(type, call);
        assertEquals(message, thrown.getMessage());
    }

    /** The call failed and the object still holds the same state array with the same bytes. */
    static <T extends Throwable> void assertFailsKeepingState(
            VXCipher cipher, Class<T> type, String message, Executable call) {
        Object before = ContextField.get(cipher);
        byte[] bytes = ContextField.snapshot(cipher);
        assertFails(type, message, call);
        assertSame(before, ContextField.get(cipher));
        assertArrayEquals(bytes, (byte[]) ContextField.get(cipher));
    }

    @ParameterizedTest
    @EnumSource(Call.class)
    void callWithoutStreamFails(Call call) throws Exception {
        VXCipher fresh = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        assertFails(IllegalStateException.class, NOT_INITIALIZED, call.on(fresh));
        assertNull(ContextField.get(fresh));

        VXCipher ended = State.ENCRYPT_STREAMING.make();
        ended.doFinal();
        assertFails(IllegalStateException.class, NOT_INITIALIZED, call.on(ended));
        assertNull(ContextField.get(ended));
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 3, -1, Integer.MIN_VALUE, Integer.MAX_VALUE})
    void initKeyRefusesInvalidMode(int mode) throws Exception {
        VXCipher fresh = new VXCipher(mode, PROJECT, PASSWORD);
        assertFails(VXPrivilegeException.class, "invalid mode", fresh::initKey);
        assertNull(ContextField.get(fresh));

        // A stream in progress survives the refused initKey and goes on.
        VXCipher running = State.ENCRYPT_STREAMING.make();
        running.setMode(mode);
        assertFailsKeepingState(
                running, VXPrivilegeException.class, "invalid mode", running::initKey);
        assertEquals(32, running.update(PLAIN, 20, 20).length + running.doFinal().length);
    }

    @ParameterizedTest
    @ValueSource(ints = {0, 1, 15})
    void shortHeaderLeavesTheStreamForTheWholeHeader(int length) throws Exception {
        byte[] stream = referenceStream();
        VXCipher cipher = State.DECRYPT_PENDING.make();
        assertFailsKeepingState(cipher, IllegalStateException.class, "data length is less than 16",
                () -> cipher.update(stream, 0, length));
        byte[] plain =
                ReferenceStream.concat(cipher.update(stream, 0, stream.length), cipher.doFinal());
        assertArrayEquals(PLAIN, plain);
    }

    static Stream<Arguments> damagedCounters() {
        List<Arguments> cases = new ArrayList<>();
        for (State state : State.values()) {
            for (Call call : Call.values()) {
                for (int buffered : new int[] {33, 1000, -1, Integer.MIN_VALUE}) {
                    cases.add(Arguments.of(state, call, ContextField.BUFFERED, buffered));
                }
                boolean streaming =
                        state == State.ENCRYPT_STREAMING || state == State.DECRYPT_STREAMING;
                // A round count the key schedule cannot have would run the cipher off its table.
                for (int rounds : new int[] {0, 11, 64, -10}) {
                    if (streaming)
                        cases.add(Arguments.of(state, call, ContextField.ROUNDS, rounds));
                }
            }
        }
        return cases.stream();
    }

    @ParameterizedTest
    @MethodSource("damagedCounters")
    void damagedCountersAreRefused(State state, Call call, int offset, int value) throws Exception {
        VXCipher cipher = state.make();
        ContextField.writeInt(cipher, offset, value);
        assertFailsKeepingState(cipher, IllegalStateException.class, DAMAGED, call.on(cipher));
    }

    static Stream<Arguments> wrongShapes() {
        List<Arguments> cases = new ArrayList<>();
        Object[] shapes = {new Object(), "context", new byte[0], new byte[319], new byte[321],
                new int[80], new Object[320], new byte[640]};
        for (Call call : Call.values()) {
            for (Object shape : shapes) cases.add(Arguments.of(call, shape));
        }
        return cases.stream();
    }

    @ParameterizedTest
    @MethodSource("wrongShapes")
    void contextOfAnotherShapeIsRefused(Call call, Object shape) throws Exception {
        VXCipher cipher = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        ContextField.set(cipher, shape);
        assertFails(IllegalStateException.class, DAMAGED, call.on(cipher));
        assertSame(shape, ContextField.get(cipher));
        if (shape instanceof byte[])
            assertArrayEquals(new byte[((byte[]) shape).length], (byte[]) shape);
    }

    @ParameterizedTest
    @ValueSource(ints = {1, 5, 17, 31})
    void partialBlockFailsAtDoFinalAndEndsTheStream(int extra) throws Exception {
        byte[] stream = ReferenceStream.concat(
                ReferenceStream.header(1), VXCipherStreamTest.data(extra, extra));
        VXCipher cipher = State.DECRYPT_PENDING.make();
        assertNull(cipher.update(stream, 0, stream.length));
        assertFails(IllegalBlockSizeException.class,
                "Input length must be multiple of 16 when decrypting", cipher::doFinal);
        assertNull(ContextField.get(cipher));
        assertFails(IllegalStateException.class, NOT_INITIALIZED, Call.UPDATE.on(cipher));
    }

    static Stream<Arguments> undecryptable() throws Exception {
        byte[] good = referenceStream();
        byte[] headerOnly = Arrays.copyOf(good, 16);
        byte[] damagedHeader = good.clone();
        damagedHeader[8] ^= 1;
        byte[] damagedLastByte = good.clone();
        damagedLastByte[good.length - 1] ^= 0x40;
        return Stream.of(Arguments.of("header only", headerOnly, PROJECT, PASSWORD),
                Arguments.of("wrong password", good, PROJECT, "s3creT"),
                Arguments.of("wrong project", good, "Payrol", PASSWORD),
                Arguments.of("damaged header", damagedHeader, PROJECT, PASSWORD),
                Arguments.of("damaged last block", damagedLastByte, PROJECT, PASSWORD));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("undecryptable")
    void badPaddingShowsOnlyAtDoFinalAndEndsTheStream(
            String what, byte[] stream, String project, String password) throws Exception {
        VXCipher cipher = new VXCipher(VXCipher.DECRYPT_MODE, project, password);
        cipher.initKey();
        int split = Math.min(20, stream.length);
        cipher.update(stream, 0, split);
        cipher.update(stream, split, stream.length - split);
        assertFails(BadPaddingException.class, "Given final block not properly padded",
                cipher::doFinal);
        assertNull(ContextField.get(cipher));
        assertFails(IllegalStateException.class, NOT_INITIALIZED, cipher::doFinal);
    }

    static Stream<Arguments> rangesOutside32Bytes() {
        int[][] ranges = {{-1, 0}, {0, -1}, {0, 33}, {33, 0}, {1, 32}, {32, 1}, {-5, 10},
                {Integer.MAX_VALUE, 1}, {1, Integer.MAX_VALUE}, {Integer.MIN_VALUE, 0}};
        List<Arguments> cases = new ArrayList<>();
        for (State state : State.values()) {
            for (int[] range : ranges) cases.add(Arguments.of(state, range[0], range[1]));
        }
        return cases.stream();
    }

    @ParameterizedTest
    @MethodSource("rangesOutside32Bytes")
    void updateRefusesRangeOutsideTheInput(State state, int offset, int length) throws Exception {
        VXCipher cipher = state.make();
        assertFailsKeepingState(cipher, IllegalArgumentException.class, RANGE,
                () -> cipher.update(new byte[32], offset, length));
    }

    @ParameterizedTest
    @EnumSource(State.class)
    void updateRefusesNullInput(State state) throws Exception {
        VXCipher cipher = state.make();
        assertFailsKeepingState(cipher, IllegalArgumentException.class, "input array is null",
                () -> cipher.update(null, 0, 0));
        assertFailsKeepingState(cipher, IllegalArgumentException.class, "input array is null",
                () -> cipher.update(null));
    }

    @Test
    void rangesTouchingTheEndAreAccepted() throws Exception {
        VXCipher cipher = State.ENCRYPT_STREAMING.make();
        assertNull(cipher.update(new byte[32], 32, 0));
        assertEquals(16, cipher.update(new byte[32], 20, 12).length);
    }
}
