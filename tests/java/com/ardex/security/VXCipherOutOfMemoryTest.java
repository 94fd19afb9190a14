package com.ardex.security;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * A native whose output array cannot be allocated leaves the virtual machine's
 * OutOfMemoryError to the caller and the stream as it was. Run with a small heap (-Xmx), which
 * the input alone fills more than halfway.
 */
class VXCipherOutOfMemoryTest {
    @ParameterizedTest
    @ValueSource(ints = {VXCipher.ENCRYPT_MODE, VXCipher.DECRYPT_MODE})
    void failedOutputAllocationKeepsTheStream(int mode) throws Exception {
        long heap = Runtime.getRuntime().maxMemory();
        assumeTrue(heap <= 512L * 1024 * 1024, "needs a heap of at most 512 MiB, has " + heap);
        byte[] small = VXCipherStreamTest.data(100, 31);
        byte[] stream = VXCipher.encrypt("p", "pw", small);

        VXCipher cipher = new VXCipher(mode, "p", "pw");
        cipher.initKey();
        Object state = ContextField.get(cipher);
        byte[] before = ContextField.snapshot(cipher);
        byte[] huge = new byte[(int) (heap / 10 * 6)];
        System.arraycopy(stream, 0, huge, 0, stream.length); // a header, when decrypting
        assertThrows(OutOfMemoryError.class, () -> cipher.update(huge, 0, huge.length));
        assertSame(state, ContextField.get(cipher));
        assertArrayEquals(before, (byte[]) ContextField.get(cipher));

        // The stream is still at its start and goes on normally.
        byte[] input = mode == VXCipher.ENCRYPT_MODE ? small : stream;
        byte[] output =
                ReferenceStream.concat(cipher.update(input, 0, input.length), cipher.doFinal());
        if (mode == VXCipher.ENCRYPT_MODE) {
            assertArrayEquals(small, VXCipher.decrypt("p", "pw", output));
        } else {
            assertArrayEquals(small, output);
        }
        assertNull(ContextField.get(cipher));
    }
}
