package com.ardex.security.bench;

import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.security.GeneralSecurityException;
import java.security.MessageDigest;
import java.util.Arrays;
import java.util.Random;

/**
 * Times the virtual machine's own SHA-1, MessageDigest "SHA-1", over a 1 MiB buffer: the Java
 * figure to hold next to the library's SHA-1 in crypto_bench.
 *
 * <p>Every run digests the buffer a fixed number of times. After a warm-up of the given length,
 * the median of the timed runs is reported as throughput and as time per digest, on one line:
 *
 * <pre>
 * sha1     1 MiB    | MessageDigest SUN |   1234.5 MB/s       849123 ns/digest
 * </pre>
 *
 * <pre>
 * java -cp secnative-bench.jar com.ardex.security.bench.Sha1Bench [RUNS [WARMUP_SECONDS]]
 * </pre>
 */
public final class Sha1Bench {
    private static final int BUFFER_SIZE = 1024 * 1024;
    private static final int DIGESTS_PER_RUN = 32;
    private static final String ABC_DIGEST = "a9993e364706816aba3e25717850c26c9cd0d89d";

    // As in CipherBench: -Dsecnative.bench.clock=cpu times the thread's CPU instead of the wall.
    private static final boolean CPU_CLOCK =
            "cpu".equals(System.getProperty("secnative.bench.clock", "wall"));
    private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();

    private static long sink; // keeps the digests observable

    private Sha1Bench() {}

    public static void main(String[] args) throws GeneralSecurityException {
        int runs = args.length > 0 ? Integer.parseInt(args[0]) : 9;
        double warmUpSeconds = args.length > 1 ? Double.parseDouble(args[1]) : 5.0;
        if (runs < 1 || warmUpSeconds < 0) {
            throw new IllegalArgumentException(
                    "RUNS must be positive, WARMUP_SECONDS not negative");
        }
        MessageDigest sha1 = MessageDigest.getInstance("SHA-1");
        // The FIPS 180 example: a digest that is wrong would make the figure meaningless.
        if (!hex(sha1.digest(new byte[] {'a', 'b', 'c'})).equals(ABC_DIGEST)) {
            throw new AssertionError("MessageDigest SHA-1 gives a wrong digest of \"abc\"");
        }
        byte[] buffer = new byte[BUFFER_SIZE];
        new Random(1).nextBytes(buffer);

        long warmUpEnd = System.nanoTime() + (long) (warmUpSeconds * 1e9);
        int warmUpRuns = 0;
        while (System.nanoTime() - warmUpEnd < 0) {
            run(sha1, buffer);
            warmUpRuns++;
        }
        long[] times = new long[runs];
        for (int i = 0; i < runs; i++) {
            long start = now();
            run(sha1, buffer);
            times[i] = now() - start;
        }
        Arrays.sort(times);
        double median =
                runs % 2 == 1 ? times[runs / 2] : (times[runs / 2 - 1] + times[runs / 2]) / 2.0;
        double perDigest = median / DIGESTS_PER_RUN;

        System.out.printf(
                "MessageDigest SHA-1 of %d MiB per run, median of %d runs after %d warm-up"
                        + " runs (%.1f s), %s; Java %s%n",
                DIGESTS_PER_RUN * BUFFER_SIZE / (1024 * 1024), runs, warmUpRuns, warmUpSeconds,
                CPU_CLOCK ? "thread CPU time" : "wall clock", System.getProperty("java.version"));
        System.out.printf("%-8s %-8s | MessageDigest %s | %8.1f MB/s %12.0f ns/digest%n", "sha1",
                "1 MiB", sha1.getProvider().getName(), BUFFER_SIZE / 1e6 / (perDigest / 1e9),
                perDigest);
        if (sink == 42)
            System.out.println();
    }

    private static long now() {
        return CPU_CLOCK ? THREADS.getCurrentThreadCpuTime() : System.nanoTime();
    }

    private static String hex(byte[] bytes) {
        StringBuilder text = new StringBuilder();
        for (byte b : bytes) text.append(String.format("%02x", b & 0xff));
        return text.toString();
    }

    private static void run(MessageDigest sha1, byte[] buffer) {
        for (int i = 0; i < DIGESTS_PER_RUN; i++) {
            sha1.update(buffer, 0, buffer.length);
            sink += sha1.digest()[0];
        }
    }
}
