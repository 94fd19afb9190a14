package com.ardex.security.bench;

import com.ardex.security.VXCipher;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.security.GeneralSecurityException;
import java.util.Arrays;
import java.util.Random;
import javax.crypto.Cipher;
import javax.crypto.KeyGenerator;
import javax.crypto.SecretKey;

/**
 * Times VXCipher next to javax.crypto's "AES/ECB/PKCS5Padding" in one virtual machine.
 *
 * <p>Every measurement is one whole stream of the same total size, fed in updates of a fixed
 * size (64 B, 4 KiB, 1 MiB) and closed with doFinal, encrypting and decrypting. Both sides
 * return a new array from every update. After warm-up runs, the median of the timed runs is
 * reported as throughput and as time per update.
 *
 * <p>Runs are timed by the wall clock, or with {@code -Dsecnative.bench.clock=cpu} by the CPU
 * time of the benchmark's thread, which leaves out the time the thread waits for a processor on
 * a machine shared with other work.
 *
 * <pre>
 * java -Djava.library.path=DIR -cp secnative.jar:secnative-bench.jar \
 *     com.ardex.security.bench.CipherBench [TOTAL_MIB [RUNS]]
 * </pre>
 */
public final class CipherBench {
    private static final int[] UPDATE_SIZES = {64, 4 * 1024, 1024 * 1024};
    private static final int WARMUP_RUNS = 3;
    private static final String PROJECT = "BENCH";
    private static final String PASSWORD = "bench password";

    private static final boolean CPU_CLOCK =
            "cpu".equals(System.getProperty("secnative.bench.clock", "wall"));
    private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();

    private static long sink; // keeps the outputs observable

    private CipherBench() {}

    /** One stream run: returns the number of bytes it produced. */
    private interface Stream {
        long run(byte[] input, int updateSize) throws GeneralSecurityException;
    }

    public static void main(String[] args) throws GeneralSecurityException {
        int totalMiB = args.length > 0 ? Integer.parseInt(args[0]) : 8;
        int runs = args.length > 1 ? Integer.parseInt(args[1]) : 7;
        byte[] plain = new byte[totalMiB * 1024 * 1024];
        new Random(1).nextBytes(plain);

        byte[] vxStream = VXCipher.encrypt(PROJECT, PASSWORD, plain);
        KeyGenerator keys = KeyGenerator.getInstance("AES");
        keys.init(128);
        SecretKey key = keys.generateKey();
        Cipher javaxCipher = Cipher.getInstance("AES/ECB/PKCS5Padding");
        javaxCipher.init(Cipher.ENCRYPT_MODE, key);
        byte[] javaxStream = javaxCipher.doFinal(plain);
        if (!Arrays.equals(VXCipher.decrypt(PROJECT, PASSWORD, vxStream), plain)) {
            throw new AssertionError("VXCipher round trip failed");
        }

        // One untimed pass over every case first, so that the compiler has seen all of them
        // before anything is measured.
        for (int size : UPDATE_SIZES) {
            for (Stream stream : new Stream[] {
                         vxStream(VXCipher.ENCRYPT_MODE), javaxStream(Cipher.ENCRYPT_MODE, key)}) {
                sink += stream.run(plain, size);
            }
            sink += vxStream(VXCipher.DECRYPT_MODE).run(vxStream, size);
            sink += javaxStream(Cipher.DECRYPT_MODE, key).run(javaxStream, size);
        }

        System.out.printf(
                "stream of %d MiB per run, median of %d runs after %d warm-up runs, %s; Java %s%n",
                totalMiB, runs, WARMUP_RUNS, CPU_CLOCK ? "thread CPU time" : "wall clock",
                System.getProperty("java.version"));
        System.out.printf("%-8s %-8s | %12s %12s | %12s %12s | %6s%n", "update", "dir", "VXCipher",
                "ns/update", "javax AES", "ns/update", "ratio");
        for (int size : UPDATE_SIZES) {
            report(size, "encrypt", runs, plain, vxStream(VXCipher.ENCRYPT_MODE),
                    javaxStream(Cipher.ENCRYPT_MODE, key));
            report(size, "decrypt", runs, vxStream, javaxStream, vxStream(VXCipher.DECRYPT_MODE),
                    javaxStream(Cipher.DECRYPT_MODE, key));
        }
        if (sink == 42)
            System.out.println();
    }

    private static void report(int size, String direction, int runs, byte[] input, Stream vx,
            Stream javax) throws GeneralSecurityException {
        report(size, direction, runs, input, input, vx, javax);
    }

    private static void report(int size, String direction, int runs, byte[] vxInput,
            byte[] javaxInput, Stream vx, Stream javax) throws GeneralSecurityException {
        double vxNanos = medianNanos(vx, vxInput, size, runs);
        double javaxNanos = medianNanos(javax, javaxInput, size, runs);
        double updates = Math.ceil((double) vxInput.length / size);
        System.out.printf("%-8s %-8s | %7.1f MB/s %12.0f | %7.1f MB/s %12.0f | %6.2f%n",
                label(size), direction, mbPerSecond(vxInput.length, vxNanos), vxNanos / updates,
                mbPerSecond(javaxInput.length, javaxNanos), javaxNanos / updates,
                javaxNanos / vxNanos);
    }

    private static Stream vxStream(int mode) {
        return (input, updateSize) -> {
            VXCipher cipher = new VXCipher(mode, PROJECT, PASSWORD);
            cipher.initKey();
            long produced = 0;
            for (int offset = 0; offset < input.length; offset += updateSize) {
                byte[] out =
                        cipher.update(input, offset, Math.min(updateSize, input.length - offset));
                if (out != null)
                    produced += out.length;
            }
            byte[] last = cipher.doFinal();
            return produced + (last == null ? 0 : last.length);
        };
    }

    private static Stream javaxStream(int mode, SecretKey key) throws GeneralSecurityException {
        Cipher cipher = Cipher.getInstance("AES/ECB/PKCS5Padding");
        return (input, updateSize) -> {
            cipher.init(mode, key);
            long produced = 0;
            for (int offset = 0; offset < input.length; offset += updateSize) {
                byte[] out =
                        cipher.update(input, offset, Math.min(updateSize, input.length - offset));
                if (out != null)
                    produced += out.length;
            }
            byte[] last = cipher.doFinal();
            return produced + (last == null ? 0 : last.length);
        };
    }

    private static double medianNanos(Stream stream, byte[] input, int size, int runs)
            throws GeneralSecurityException {
        for (int i = 0; i < WARMUP_RUNS; i++) sink += stream.run(input, size);
        long[] times = new long[runs];
        for (int i = 0; i < runs; i++) {
            long start = now();
            sink += stream.run(input, size);
            times[i] = now() - start;
        }
        Arrays.sort(times);
        return runs % 2 == 1 ? times[runs / 2] : (times[runs / 2 - 1] + times[runs / 2]) / 2.0;
    }

    private static long now() {
        return CPU_CLOCK ? THREADS.getCurrentThreadCpuTime() : System.nanoTime();
    }

    private static double mbPerSecond(long bytes, double nanos) {
        return bytes / 1e6 / (nanos / 1e9);
    }

    private static String label(int size) {
        return size >= 1024 * 1024 ? size / (1024 * 1024) + " MiB"
                : size >= 1024     ? size / 1024 + " KiB"
                                   : size + " B";
    }
}
