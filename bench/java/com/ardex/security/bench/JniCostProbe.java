package com.ardex.security.bench;

import com.ardex.security.VXCipher;
import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;
import java.lang.reflect.Field;
import javax.crypto.Cipher;
import javax.crypto.KeyGenerator;
import javax.crypto.SecretKey;

/**
 * Where the time of one small VXCipher call goes: the cost of each kind of JNI operation its
 * natives make, measured one by one on a real VXCipher object, next to the cost of whole calls.
 *
 * <p>Every figure is thread CPU time per operation or call, the lowest over many short batches
 * after a warm-up: on a shared machine a short batch often runs undisturbed, and the lowest one
 * shows the cost of the work itself. The JNI operations run in a bench-only library, {@code
 * secnative_jni_probe}, that repeats each one in a loop.
 *
 * <pre>
 * java -Dsecnative.probe.library=PATH -Djava.library.path=DIR \
 *     -cp secnative.jar:secnative-bench.jar com.ardex.security.bench.JniCostProbe [BATCHES]
 * </pre>
 */
public final class JniCostProbe {
    /** The operations of the probe library, in its numbering. */
    private static final String[] OPS = {
            "loop overhead",
            "GetObjectClass + DeleteLocalRef",
            "GetFieldID context",
            "GetObjectField + DeleteLocalRef",
            "IsInstanceOf",
            "GetArrayLength",
            "ExceptionCheck",
            "GetByteArrayRegion 320 B (context in)",
            "SetByteArrayRegion 320 B (context out)",
            "SetByteArrayRegion 36 B (counter and carry out)",
            "GetByteArrayRegion 64 B (input)",
            "Get/ReleasePrimitiveArrayCritical",
            "NewByteArray 64 + DeleteLocalRef",
            "password fetch (field, string, UTF region)",
            "FindClass + DeleteLocalRef",
    };
    private static final int REPS = 10_000;
    private static final int CALLS = 10_000;
    private static final int WARMUP_BATCHES = 50;
    private static final String PROJECT = "BENCH";
    private static final String PASSWORD = "bench password";

    private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();
    private static long sink;

    private JniCostProbe() {}

    // Fields like VXCipher's, for the floor native to look up.
    @SuppressWarnings("unused") private int mode;
    @SuppressWarnings("unused") private String project;
    @SuppressWarnings("unused") private String password;
    @SuppressWarnings("unused") private Object context = new byte[320];

    private static native long repeat(int op, int reps, Object cipher, byte[] input);

    /** Does nothing: the cost of a call of update's shape alone. */
    private native synchronized byte[] emptyCall(byte[] input, int offset, int length);

    /**
     * The JNI calls every update makes whatever it does with the bytes: the range check, the
     * per-call look-up of {@code context} (class, field ID, value), its type and size check, the
     * new output array, and the deletion of the local references.
     */
    private native synchronized byte[] requiredCalls(byte[] input, int offset, int length);

    /** One timed batch of calls; returns its thread CPU nanoseconds. */
    private interface Batch {
        long run() throws Exception;
    }

    public static void main(String[] args) throws Exception {
        int batches = args.length > 0 ? Integer.parseInt(args[0]) : 200;
        System.load(System.getProperty("secnative.probe.library"));
        byte[] input = new byte[64];
        VXCipher streaming = new VXCipher(VXCipher.ENCRYPT_MODE, PROJECT, PASSWORD);
        streaming.initKey();
        streaming.update(input, 0, 20);

        System.out.printf("thread CPU ns per operation, lowest of %d batches; Java %s%n", batches,
                System.getProperty("java.version"));
        double loop = lowest(batches, () -> repeat(0, REPS, streaming, input)) / REPS;
        for (int op = 1; op < OPS.length; op++) {
            final int which = op;
            double nanos = lowest(batches, () -> repeat(which, REPS, streaming, input)) / REPS;
            System.out.printf("  %-48s %7.1f%n", OPS[op], nanos - loop);
        }

        JniCostProbe probe = new JniCostProbe();
        System.out.printf("thread CPU ns per Java call, lowest of %d batches%n", batches);
        report("empty native of update's shape", batches, CALLS, () -> {
            for (int i = 0; i < CALLS; i++) sink += probe.emptyCall(input, 0, 64) == null ? 1 : 0;
        });
        report("the JNI calls every update makes (64 B out)", batches, CALLS, () -> {
            for (int i = 0; i < CALLS; i++) sink += probe.requiredCalls(input, 0, 64).length;
        });
        SecretKey key = KeyGenerator.getInstance("AES").generateKey();
        for (int size : new int[] {64, 4096}) {
            for (int mode : new int[] {VXCipher.ENCRYPT_MODE, VXCipher.DECRYPT_MODE}) {
                VXCipher cipher = streamingCipher(mode);
                Cipher javax = Cipher.getInstance("AES/ECB/PKCS5Padding");
                javax.init(
                        mode == VXCipher.ENCRYPT_MODE ? Cipher.ENCRYPT_MODE : Cipher.DECRYPT_MODE,
                        key);
                byte[] data = new byte[size];
                int calls = Math.max(100, CALLS * 64 / size); // batches of like duration
                double ours = batchLowest(batches, () -> {
                    for (int i = 0; i < calls; i++) {
                        byte[] out = cipher.update(data, 0, size);
                        sink += out == null ? 0 : out.length;
                    }
                }) / calls;
                double theirs = batchLowest(batches, () -> {
                    for (int i = 0; i < calls; i++) {
                        byte[] out = javax.update(data, 0, size);
                        sink += out == null ? 0 : out.length;
                    }
                }) / calls;
                String what = String.format("update %d B, %s", size, direction(mode));
                System.out.printf("  %-48s %7.1f%n", "VXCipher." + what, ours);
                System.out.printf("  %-48s %7.1f%n", "javax.crypto " + what, theirs);
                System.out.printf("  %-48s %7.2f%n", "ratio javax/VXCipher " + what, theirs / ours);
            }
        }
        for (int mode : new int[] {VXCipher.ENCRYPT_MODE, VXCipher.DECRYPT_MODE}) {
            reportDoFinal(mode, batches);
        }
        if (sink == 42)
            System.out.println();
    }

    /** A cipher past its header step, with no carried bytes. */
    private static VXCipher streamingCipher(int mode) throws Exception {
        VXCipher cipher = new VXCipher(mode, PROJECT, PASSWORD);
        cipher.initKey();
        cipher.update(new byte[16], 0, 16);
        return cipher;
    }

    /**
     * doFinal on a stream holding one whole block (decrypting: a valid last block), each time
     * on a fresh copy of the same state put back through reflection; the cost of putting it back
     * is measured on its own and taken off.
     */
    private static void reportDoFinal(int mode, int batches) throws Exception {
        Field field = VXCipher.class.getDeclaredField("context");
        field.setAccessible(true);
        VXCipher cipher = new VXCipher(mode, PROJECT, PASSWORD);
        cipher.initKey();
        if (mode == VXCipher.ENCRYPT_MODE) {
            cipher.update(new byte[16], 0, 16);
        } else {
            byte[] stream = VXCipher.encrypt(PROJECT, PASSWORD, new byte[20]);
            cipher.update(stream, 0, stream.length - 16);
            cipher.update(stream, stream.length - 16, 16);
        }
        byte[] state = ((byte[]) field.get(cipher)).clone();
        double restore = batchLowest(batches, () -> {
            for (int i = 0; i < CALLS; i++) field.set(cipher, state.clone());
        });
        double full = batchLowest(batches, () -> {
            for (int i = 0; i < CALLS; i++) {
                field.set(cipher, state.clone());
                byte[] out = cipher.doFinal();
                sink += out == null ? 0 : out.length;
            }
        });
        System.out.printf("  %-48s %7.1f%n", "VXCipher.doFinal, " + direction(mode),
                (full - restore) / CALLS);
    }

    private interface Calls {
        void run() throws Exception;
    }

    private static void report(String what, int batches, int count, Calls calls) throws Exception {
        System.out.printf("  %-48s %7.1f%n", what, batchLowest(batches, calls) / count);
    }

    private static double batchLowest(int batches, Calls calls) throws Exception {
        return lowest(batches, () -> {
            long start = THREADS.getCurrentThreadCpuTime();
            calls.run();
            return THREADS.getCurrentThreadCpuTime() - start;
        });
    }

    private static double lowest(int batches, Batch batch) throws Exception {
        for (int i = 0; i < WARMUP_BATCHES; i++) sink += batch.run();
        long best = Long.MAX_VALUE;
        for (int i = 0; i < batches; i++) best = Math.min(best, batch.run());
        return best;
    }

    private static String direction(int mode) {
        return mode == VXCipher.ENCRYPT_MODE ? "encrypt" : "decrypt";
    }
}
