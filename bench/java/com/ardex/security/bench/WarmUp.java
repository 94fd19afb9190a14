package com.ardex.security.bench;

import java.io.OutputStream;
import java.io.PrintStream;
import java.lang.reflect.Method;

/**
 * Runs a benchmark's main method again and again with its output thrown away until the given
 * number of seconds has passed, then once more with its output shown: the measured run finds the
 * virtual machine with its code compiled and its heap settled by whole runs of the same work.
 *
 * <pre>
 * java ... com.ardex.security.bench.WarmUp SECONDS CLASS [ARGS...]
 * </pre>
 *
 * <p>With SECONDS 0 the benchmark runs once, as if started directly.
 */
public final class WarmUp {
    private WarmUp() {}

    public static void main(String[] args) throws ReflectiveOperationException {
        if (args.length < 2) {
            throw new IllegalArgumentException("usage: WarmUp SECONDS CLASS [ARGS...]");
        }
        double seconds = Double.parseDouble(args[0]);
        Method main = Class.forName(args[1]).getMethod("main", String[].class);
        String[] benchArgs = new String[args.length - 2];
        System.arraycopy(args, 2, benchArgs, 0, benchArgs.length);

        PrintStream shown = System.out;
        PrintStream discarded = new PrintStream(new OutputStream() {
            @Override
            public void write(int b) {}

            @Override
            public void write(byte[] b, int off, int len) {}
        });
        long start = System.nanoTime();
        long end = start + (long) (seconds * 1e9);
        int passes = 0;
        System.setOut(discarded);
        try {
            while (System.nanoTime() - end < 0) {
                invoke(main, benchArgs);
                passes++;
            }
        } finally {
            System.setOut(shown);
        }
        if (passes > 0) {
            System.out.printf("warm-up: %d whole run(s) in %.1f s%n", passes,
                    (System.nanoTime() - start) / 1e9);
        }
        invoke(main, benchArgs);
    }

    /** Runs the benchmark once; its failure comes out as the cause of the exception thrown. */
    private static void invoke(Method main, String[] args) throws ReflectiveOperationException {
        main.invoke(null, (Object) args.clone());
    }
}
