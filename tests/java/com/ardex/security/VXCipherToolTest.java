package com.ardex.security;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The same password opens a stream on either side: streams sealed here are opened by the
 * secnative tool, and streams the tool seals are opened here. The tool reads the password's
 * UTF-8 bytes from a file, where the natives get the virtual machine's modified UTF-8; a
 * character beyond U+FFFF and U+0000 are written differently in the two. The tool's path comes
 * in the system property secnative.test.tool; without it the test is skipped.
 */
class VXCipherToolTest {
    private static final String PROJECT = "Payroll";
    private static final byte[] PLAIN = VXCipherStreamTest.data(1000, 77);

    @TempDir Path dir;

    static String tool() {
        String tool = System.getProperty("secnative.test.tool");
        assumeTrue(tool != null, "secnative.test.tool is not set");
        return tool;
    }

    /** Runs the tool's encrypt or decrypt from one file to another, the password in a file. */
    void runTool(String command, String password, Path in, Path out)
            throws IOException, InterruptedException {
        Path passwordFile = dir.resolve("password");
        Files.write(passwordFile, (password + "\n").getBytes(StandardCharsets.UTF_8));
        List<String> args = new ArrayList<>(List.of(tool(), command, "-p", PROJECT,
                "--password-file", passwordFile.toString(), in.toString(), "-o", out.toString()));
        File messages = dir.resolve("stderr.txt").toFile();
        ProcessBuilder builder = new ProcessBuilder(args)
                                         .redirectOutput(ProcessBuilder.Redirect.DISCARD)
                                         .redirectError(messages);
        // A sanitized build preloads its runtime into the virtual machine; the tool
        // carries its own.
        builder.environment().remove("LD_PRELOAD");
        Process process = builder.start();
        assertTrue(process.waitFor(60, TimeUnit.SECONDS), "the tool did not end");
        String said = Files.readString(messages.toPath(), StandardCharsets.UTF_8);
        assertEquals(0, process.exitValue(), "secnative " + command + ": " + said);
    }

    // Plain ASCII, the Latin-1 range, a character beyond U+FFFF, a NUL, and a password whose
    // first 31 bytes end inside the surrogates of such a character.
    @ParameterizedTest
    @ValueSource(strings = {"secret", "p\u00e4ssw\u00f6rd", "pw\uD83D\uDE00x", "a\u0000b",
            "aaaaaaaaaaaaaaaaaaaaaaaaaaaaa\uD83D\uDE00"})
    void theToolOpensWhatJavaSealed(String password) throws Exception {
        Path sealed = dir.resolve("sealed.vx");
        Files.write(sealed, VXCipher.encrypt(PROJECT, password, PLAIN));
        Path opened = dir.resolve("opened");
        runTool("decrypt", password, sealed, opened);
        assertArrayEquals(PLAIN, Files.readAllBytes(opened));
    }

    @ParameterizedTest
    @ValueSource(strings = {"secret", "p\u00e4ssw\u00f6rd", "pw\uD83D\uDE00x", "a\u0000b",
            "aaaaaaaaaaaaaaaaaaaaaaaaaaaaa\uD83D\uDE00"})
    void javaOpensWhatTheToolSealed(String password) throws Exception {
        Path plain = dir.resolve("plain");
        Files.write(plain, PLAIN);
        Path sealed = dir.resolve("sealed.vx");
        runTool("encrypt", password, plain, sealed);
        assertArrayEquals(PLAIN, VXCipher.decrypt(PROJECT, password, Files.readAllBytes(sealed)));
    }
}
