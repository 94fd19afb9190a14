package com.ardex.security.demo;

import com.ardex.security.VXCipher;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.security.GeneralSecurityException;
import java.time.Instant;
import java.util.Arrays;

/**
 * Encrypts a file with {@link VXCipher} and decrypts it back, printing what happened, then logs
 * in to a demo login server on loopback ({@link LoginDemo}).
 *
 * <pre>
 * java -jar secnative-demo.jar [FILE [PROJECT [PASSWORD]]]
 * </pre>
 *
 * <p>Without FILE a sample text is written to a temporary directory first. The encrypted stream
 * goes to FILE.vx and the decrypted copy to FILE.out. Exits with 0 when the copy matches the
 * original and the login demo went as expected, 1 when not, 2 on bad arguments or an I/O failure.
 */
public final class CipherDemo {
    private static final String DEFAULT_PROJECT = "demo";
    private static final String DEFAULT_PASSWORD = "correct horse battery staple";
    private static final int HEADER_SIZE = 16;

    private CipherDemo() {}

    public static void main(String[] args) {
        if (args.length > 3 || (args.length > 0 && args[0].startsWith("-"))) {
            System.err.println("usage: java -jar secnative-demo.jar [FILE [PROJECT [PASSWORD]]]");
            System.exit(2);
        }
        try {
            Path input = args.length > 0 ? Paths.get(args[0]) : writeSample();
            String project = args.length > 1 ? args[1] : DEFAULT_PROJECT;
            String password = args.length > 2 ? args[2] : DEFAULT_PASSWORD;
            System.exit(run(input, project, password) ? 0 : 1);
        } catch (IOException | GeneralSecurityException | RuntimeException e) {
            System.err.println("demo failed: " + e);
            System.exit(2);
        }
    }

    private static boolean run(Path input, String project, String password)
            throws IOException, GeneralSecurityException {
        Path encrypted = Paths.get(input + ".vx");
        Path decrypted = Paths.get(input + ".out");
        System.out.printf(
                "VXCipher demo: libsecnative in Java %s%n", System.getProperty("java.version"));
        System.out.printf("plaintext   %s: %d bytes%n", input, Files.size(input));
        System.out.printf(
                "project     \"%s\", password of %d characters%n", project, password.length());

        long written =
                copy(new VXCipher(VXCipher.ENCRYPT_MODE, project, password), input, encrypted);
        System.out.printf("encrypted   %s: %d bytes (16-byte header, %d blocks of 16)%n", encrypted,
                written, (written - HEADER_SIZE) / 16);
        printHeader(encrypted);

        long restored =
                copy(new VXCipher(VXCipher.DECRYPT_MODE, project, password), encrypted, decrypted);
        System.out.printf("decrypted   %s: %d bytes%n", decrypted, restored);
        boolean match = Arrays.equals(Files.readAllBytes(input), Files.readAllBytes(decrypted));
        System.out.printf("match       %s%n",
                match ? "yes, the decrypted copy equals the original"
                      : "NO, the decrypted copy differs");
        tryWrongPassword(encrypted, project, password);
        boolean loginWorks = LoginDemo.run();
        return match && loginWorks;
    }

    private static long copy(VXCipher cipher, Path from, Path to)
            throws IOException, GeneralSecurityException {
        try (InputStream in = Files.newInputStream(from);
                OutputStream out = Files.newOutputStream(to)) {
            return cipher.process(in, out);
        }
    }

    private static void printHeader(Path encrypted) throws IOException {
        byte[] header = new byte[HEADER_SIZE];
        try (InputStream in = Files.newInputStream(encrypted)) {
            if (in.read(header) != HEADER_SIZE)
                throw new IOException("stream shorter than its header");
        }
        StringBuilder hex = new StringBuilder();
        for (byte b : header) hex.append(String.format("%02x ", b & 0xff));
        long seconds = ((header[8] & 0xffL) << 24) | ((header[9] & 0xff) << 16)
                | ((header[10] & 0xff) << 8) | (header[11] & 0xff);
        String magic = new String(header, 0, 4, StandardCharsets.US_ASCII);
        System.out.printf("header      %s%n            magic \"%s\", made %s%n",
                hex.toString().trim(), magic, Instant.ofEpochSecond(seconds));
    }

    // The stream carries no authentication: a wrong password shows up as a padding failure at
    // the end, or, about once in 256 tries, as wrong data.
    private static void tryWrongPassword(Path encrypted, String project, String password)
            throws IOException {
        byte[] stream = Files.readAllBytes(encrypted);
        // Only the first 31 bytes of a password count, so change its first character.
        String wrongPassword = password.isEmpty()
                ? "wrong"
                : (char) (password.charAt(0) ^ 1) + password.substring(1);
        try {
            byte[] wrong = VXCipher.decrypt(project, wrongPassword, stream);
            System.out.printf(
                    "wrong pass  gave %d bytes of wrong data (nothing authenticates the stream)%n",
                    wrong.length);
        } catch (GeneralSecurityException e) {
            System.out.printf(
                    "wrong pass  refused: %s: %s%n", e.getClass().getSimpleName(), e.getMessage());
        }
    }

    private static Path writeSample() throws IOException {
        Path dir = Files.createTempDirectory("vxdemo");
        Path sample = dir.resolve("sample.txt");
        StringBuilder text = new StringBuilder();
        for (int line = 1; line <= 200; line++) {
            text.append(
                    String.format("line %3d: the quick brown fox jumps over the lazy dog%n", line));
        }
        Files.write(sample, text.toString().getBytes(StandardCharsets.UTF_8));
        return sample;
    }
}
