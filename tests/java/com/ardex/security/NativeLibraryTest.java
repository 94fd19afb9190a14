package com.ardex.security;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Collectors;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Finding the library: platform names, the copy in the jar, and whole virtual machines started
 * with the library reachable one way at a time.
 *
 * <p>System properties: {@code secnative.test.library} (the library file of this build), {@code
 * secnative.test.jar} (secnative.jar) and {@code secnative.test.probe} (JarOnlyProbe.java).
 */
class NativeLibraryTest {
    private static final Path LIBRARY = Paths.get(System.getProperty("secnative.test.library"));

    static Stream<Arguments> platforms() {
        return Stream.of(Arguments.of("Linux", "amd64", "linux-x86_64"),
                Arguments.of("Linux", "i686", "linux-x86"),
                Arguments.of("SunOS", "sparcv9", "solaris-sparcv9"),
                Arguments.of("SunOS", "amd64", "solaris-x86_64"),
                Arguments.of("Linux", "sparc64", "linux-sparcv9"),
                Arguments.of("Linux", "powerpc", "linux-ppc"),
                Arguments.of("Mac OS X", "arm64", "macos-aarch64"),
                Arguments.of("Windows 11", "x86", "windows-x86"));
    }

    @ParameterizedTest
    @MethodSource("platforms")
    void platformNames(String osName, String osArch, String expected) {
        assertEquals(expected, NativeLibrary.platform(osName, osArch));
    }

    @Test
    void jarCarriesThisBuildsLibrary() throws IOException {
        String platform = NativeLibrary.platform(
                System.getProperty("os.name"), System.getProperty("os.arch"));
        try (InputStream in = NativeLibrary.class.getResourceAsStream(
                     NativeLibrary.resourcePath(platform))) {
            assertArrayEquals(Files.readAllBytes(LIBRARY), in.readAllBytes());
        }
    }

    @Test
    void extractedCopyIsPrivate() throws IOException {
        Path copy = NativeLibrary.extract(new ByteArrayInputStream(new byte[] {1, 2, 3}));
        try {
            assertArrayEquals(new byte[] {1, 2, 3}, Files.readAllBytes(copy));
            assertEquals("rw-------",
                    PosixFilePermissions.toString(Files.getPosixFilePermissions(copy)));
        } finally {
            Files.delete(copy);
        }
    }

    /**
     * JVM options that leave one way to the library (LIB: the build's file; EMPTY: a directory
     * without it), and which file the probe must find mapped: the build's, the jar's extracted
     * copy (TMP) or none, the jar having no copy for the platform.
     */
    static Stream<Arguments> launches() {
        return Stream.of(
                Arguments.of("-Dsecnative.library.path=LIB -Djava.library.path=EMPTY", "LIB"),
                Arguments.of("-Djava.library.path=" + LIBRARY.getParent(), "LIB"),
                Arguments.of("-Djava.library.path=EMPTY", "TMP"),
                Arguments.of("-Djava.library.path=EMPTY -Dos.arch=vax", "NONE"));
    }

    @ParameterizedTest
    @MethodSource("launches")
    void jarAloneFindsTheLibrary(String options, String expected, @TempDir Path scratch)
            throws Exception {
        Path empty = Files.createDirectory(scratch.resolve("empty"));
        Path temporary = Files.createDirectory(scratch.resolve("tmp"));
        List<String> command = new ArrayList<>(List.of(
                Paths.get(System.getProperty("java.home"), "bin", "java").toString(),
                "-Djava.io.tmpdir=" + temporary, "-cp", System.getProperty("secnative.test.jar")));
        for (String option : options.split(" "))
            command.add(
                    option.replace("LIB", LIBRARY.toString()).replace("EMPTY", empty.toString()));
        command.add(System.getProperty("secnative.test.probe"));
        Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
        String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertTrue(process.waitFor(2, TimeUnit.MINUTES));
        List<String> mapped = output.lines()
                                      .filter(line -> line.startsWith("mapped "))
                                      .map(line -> line.substring("mapped ".length()))
                                      .collect(Collectors.toList());

        if (expected.equals("NONE")) {
            assertEquals(1, process.exitValue(), output);
            assertTrue(output.contains("UnsatisfiedLinkError"), output);
            assertTrue(output.contains("-vax/libsecnative.so)"), output);
        } else {
            assertEquals(0, process.exitValue(), output);
            assertEquals(1, mapped.size(), output); // one copy, shared by both classes
            if (expected.equals("TMP")) {
                // The copy is removed as soon as it is loaded.
                assertTrue(mapped.get(0).startsWith(temporary.toString()), output);
                assertTrue(mapped.get(0).endsWith(" (deleted)"), output);
            } else {
                assertEquals(LIBRARY.toRealPath().toString(), mapped.get(0), output);
            }
        }
        try (Stream<Path> left = Files.list(temporary)) {
            assertEquals(0, left.filter(file -> file.toString().contains("secnative")).count());
        }
    }
}
