package com.ardex.security;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.security.GeneralSecurityException;
import javax.crypto.BadPaddingException;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.EnumSource;

/**
 * A stream's state array holds the key schedule, and anyone who kept a reference to it could
 * read the key for as long as the array lives: a stream that ends, and one that initKey replaces,
 * leaves its array all zeros.
 */
class VXCipherKeyWipeTest {
    private static final String PROJECT = "Payroll";
    private static final String PASSWORD = "s3cret";
    private static final byte[] PLAIN = VXCipherStreamTest.data(40, 5);

    /** Where a stream stands when its state is dropped, and what drops it. */
    enum Drop {
        DO_FINAL_ENCRYPTING(VXCipher.ENCRYPT_MODE, false),
        DO_FINAL_DECRYPTING(VXCipher.DECRYPT_MODE, false),
        DO_FINAL_WITH_BAD_PADDING(VXCipher.DECRYPT_MODE, false),
        INIT_KEY_ENCRYPTING(VXCipher.ENCRYPT_MODE, true),
        INIT_KEY_DECRYPTING(VXCipher.DECRYPT_MODE, true);

        final int mode;
        final boolean byInitKey;

        Drop(int mode, boolean byInitKey) {
            this.mode = mode;
            this.byInitKey = byInitKey;
        }
    }

    @ParameterizedTest
    @EnumSource(Drop.class)
    void theDroppedStateIsAllZeros(Drop drop) throws Exception {
        String password = drop == Drop.DO_FINAL_WITH_BAD_PADDING ? "wrong" : PASSWORD;
        VXCipher cipher = new VXCipher(drop.mode, PROJECT, password);
        cipher.initKey();
        byte[] input = drop.mode == VXCipher.ENCRYPT_MODE
                ? PLAIN
                : VXCipher.encrypt(PROJECT, PASSWORD, PLAIN);
        cipher.update(input, 0, input.length);  // past the header step: the key is in the state
        byte[] state = (byte[]) ContextField.get(cipher);

        if (drop.byInitKey) {
            cipher.initKey();
            assertNotSame(state, ContextField.get(cipher));
        } else if (drop == Drop.DO_FINAL_WITH_BAD_PADDING) {
            assertThrows(BadPaddingException.class, cipher::doFinal);
        } else {
            cipher.doFinal();
        }
        assertArrayEquals(new byte[ContextField.SIZE], state);
    }

    /** Only the old state is wiped: the stream started in its place runs as usual. */
    @Test
    void aStreamStartedOverRunsWhole() throws GeneralSecurityException {
        VXCipher sealer = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        sealer.initKey();
        sealer.update(PLAIN, 0, 20);
        byte[] sealed = sealer.process(PLAIN);  // initKey again, then the whole stream
        VXCipher opener = new VXCipher(VXCipher.DECRYPT_MODE, PROJECT, PASSWORD);
        opener.initKey();
        opener.update(sealed, 0, 20);
        assertArrayEquals(PLAIN, opener.process(sealed));
    }
}
