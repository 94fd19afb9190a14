package com.ardex.security;

import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.FileAttribute;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.EnumSet;
import java.util.Locale;

/**
 * Loads the native library {@code secnative} for the classes of this package, once per class
 * loader, trying in turn:
 *
 * <ol>
 *   <li>the file named by the system property {@value VXCipher#LIBRARY_PATH_PROPERTY}, when it
 *       is set;
 *   <li>{@code secnative} on {@code java.library.path};
 *   <li>the copy that secnative.jar carries for this platform, under {@code
 *       /com/ardex/security/native/<os>-<arch>/}, extracted to a temporary file that only its
 *       owner may read.
 * </ol>
 *
 * <p>A library file belongs to the class loader that loaded it first, so loading the same file
 * again from a second class loader fails; each class loader gets its own extracted copy.
 */
final class NativeLibrary {
    static final String NAME = "secnative";
    static final String RESOURCE_ROOT = "/com/ardex/security/native/";

    private static boolean loaded;

    private NativeLibrary() {}

    /** Loads the library unless this class loader already has. */
    static synchronized void load() {
        if (loaded)
            return;
        String path = System.getProperty(VXCipher.LIBRARY_PATH_PROPERTY);
        if (path != null && !path.isEmpty()) {
            System.load(new File(path).getAbsolutePath());
        } else {
            try {
                System.loadLibrary(NAME);
            } catch (UnsatisfiedLinkError notOnLibraryPath) {
                loadBundled(platform(System.getProperty("os.name"), System.getProperty("os.arch")),
                        notOnLibraryPath);
            }
        }
        loaded = true;
    }

    /**
     * The directory name of a platform's library inside the jar, such as {@code linux-x86_64}:
     * the build names it the same way from its target system and processor.
     */
    static String platform(String osName, String osArch) {
        String os = clean(osName);
        if (os.startsWith("windows"))
            os = "windows";
        else if (os.equals("sunos"))
            os = "solaris";
        else if (os.equals("macosx") || os.equals("darwin"))
            os = "macos";

        String arch = clean(osArch);
        if (arch.equals("amd64"))
            arch = "x86_64";
        else if (arch.matches("i[3-6]86"))
            arch = "x86";
        else if (arch.equals("sparc64"))
            arch = "sparcv9";
        else if (arch.equals("powerpc"))
            arch = "ppc";
        else if (arch.equals("arm64"))
            arch = "aarch64";
        return os + "-" + arch;
    }

    /** Where the jar keeps the library of a platform. */
    static String resourcePath(String platform) {
        return RESOURCE_ROOT + platform + "/" + System.mapLibraryName(NAME);
    }

    /**
     * Loads the jar's copy of the library for {@code platform}; when the jar has none, or it
     * cannot be loaded, fails with an error that tells both what was tried first and why the
     * copy did not serve.
     */
    static void loadBundled(String platform, UnsatisfiedLinkError notOnLibraryPath) {
        String resource = resourcePath(platform);
        Path copy;
        try (InputStream in = NativeLibrary.class.getResourceAsStream(resource)) {
            if (in == null) {
                String why = "the jar carries none for " + platform + " (no " + resource + ")";
                throw failure(notOnLibraryPath, why, null);
            }
            copy = extract(in);
        } catch (IOException e) {
            throw failure(notOnLibraryPath, "extracting " + resource + " failed: " + e, e);
        }
        try {
            System.load(copy.toAbsolutePath().toString());
        } catch (UnsatisfiedLinkError e) {
            throw failure(
                    notOnLibraryPath, "loading " + resource + " failed: " + e.getMessage(), e);
        } finally {
            // Once mapped, the file is no longer needed where the system allows removing it;
            // elsewhere deleteOnExit removes it when the virtual machine ends.
            try {
                Files.deleteIfExists(copy);
            } catch (IOException | SecurityException e) {
                // still in use: left to deleteOnExit
            }
        }
    }

    /**
     * Copies {@code in} into a new temporary file, readable and writable by its owner only where
     * the file system has POSIX permissions, and marked for deletion at exit.
     */
    static Path extract(InputStream in) throws IOException {
        String file = System.mapLibraryName(NAME);
        int dot = file.lastIndexOf('.');
        String prefix = (dot > 0 ? file.substring(0, dot) : file) + "-";
        String suffix = dot > 0 ? file.substring(dot) : null;
        Path copy;
        if (FileSystems.getDefault().supportedFileAttributeViews().contains("posix")) {
            FileAttribute<?> ownerOnly = PosixFilePermissions.asFileAttribute(
                    EnumSet.of(PosixFilePermission.OWNER_READ, PosixFilePermission.OWNER_WRITE));
            copy = Files.createTempFile(prefix, suffix, ownerOnly);
        } else {
            copy = Files.createTempFile(prefix, suffix);
        }
        copy.toFile().deleteOnExit();
        // Written into the file just made: replacing it would lose its permissions.
        try (OutputStream out = Files.newOutputStream(copy)) {
            byte[] buffer = new byte[64 * 1024];
            for (int n; (n = in.read(buffer)) >= 0;) out.write(buffer, 0, n);
        } catch (IOException e) {
            Files.deleteIfExists(copy);
            throw e;
        }
        return copy;
    }

    private static UnsatisfiedLinkError failure(
            UnsatisfiedLinkError first, String why, Throwable cause) {
        UnsatisfiedLinkError error = new UnsatisfiedLinkError(
                "cannot load the library " + NAME + ": " + first.getMessage() + "; " + why);
        error.initCause(cause != null ? cause : first);
        if (cause != null)
            error.addSuppressed(first);
        return error;
    }

    private static String clean(String value) {
        return value == null ? "unknown"
                             : value.toLowerCase(Locale.ROOT).replaceAll("[^a-z0-9_]", "");
    }
}
