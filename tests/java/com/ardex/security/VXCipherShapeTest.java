package com.ardex.security;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.fail;

import java.lang.reflect.Field;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * The natives on VXCipher classes that lack a field. Natives bind by class name, so each such
 * class is a separately compiled {@code com.ardex.security.VXCipher}, loaded by its own class
 * loader with its own copy of the library (a library file belongs to one class loader).
 *
 * <p>System properties: {@code secnative.test.library} (the library file), {@code
 * secnative.test.jar} (secnative.jar, for the exception class), {@code
 * secnative.test.shape.no_context} and {@code secnative.test.shape.no_password} (the jars).
 */
class VXCipherShapeTest {
    private static final String CONTEXT_MISSING = "field \"context\" not found";
    private static final String PASSWORD_MISSING = "field \"password\" not found";

    private static Class<?> noContext;
    private static Class<?> noPassword;

    @BeforeAll
    static void loadShapes() throws Exception {
        noContext = loadShape("no_context");
        noPassword = loadShape("no_password");
        assertNotSame(VXCipher.class, noContext);
    }

    private static Path property(String name) {
        String value = System.getProperty(name);
        if (value == null)
            fail("system property " + name + " is not set");
        return Paths.get(value);
    }

    private static Class<?> loadShape(String shape) throws Exception {
        Path library = property("secnative.test.library");
        // Files registered for deletion go in reverse order: the directory is
        // registered first so that it is empty when its turn comes.
        Path directory = Files.createTempDirectory("secnative-" + shape);
        directory.toFile().deleteOnExit();
        Path copy = directory.resolve(library.getFileName());
        Files.copy(library, copy);
        copy.toFile().deleteOnExit();
        URL[] jars = {property("secnative.test.shape." + shape).toUri().toURL(),
                property("secnative.test.jar").toUri().toURL()};
        ClassLoader loader = new URLClassLoader(jars, ClassLoader.getPlatformClassLoader());
        Class<?> shapeClass = Class.forName("com.ardex.security.VXCipher", true, loader);
        shapeClass.getMethod("loadLibrary", String.class).invoke(null, copy.toString());
        return shapeClass;
    }

    /** Calls a method that must throw; returns what it threw. */
    private static Throwable failure(Object target, String name, Object... args) throws Exception {
        Class<?>[] types = args.length == 0 ? new Class<?>[ 0 ]
                                            : new Class<?>[] {byte[].class, int.class, int.class};
        Method method = target.getClass().getMethod(name, types);
        try {
            method.invoke(target, args);
        } catch (InvocationTargetException e) {
            return e.getCause();
        }
        return fail(name + " did not throw");
    }

    private static void assertFailure(String className, String message, Throwable thrown) {
        assertEquals(className, thrown.getClass().getName());
        assertEquals(message, thrown.getMessage());
    }

    private static Object field(Object target, String name) throws Exception {
        Field field = target.getClass().getField(name);
        return field.get(target);
    }

    @Test
    void everyCallRefusesAClassWithoutContext() throws Exception {
        Object cipher = noContext.getConstructor().newInstance();
        assertFailure("com.ardex.security.VXPrivilegeException", "field [context] not found",
                failure(cipher, "initKey"));
        assertFailure("java.lang.IllegalStateException", CONTEXT_MISSING,
                failure(cipher, "update", new byte[32], 0, 32));
        assertFailure(
                "java.lang.IllegalStateException", CONTEXT_MISSING, failure(cipher, "doFinal"));
        assertEquals(1, field(cipher, "mode"));
        assertEquals("P", field(cipher, "project"));
    }

    @Test
    void headerStepRefusesAClassWithoutPassword() throws Exception {
        for (int mode : new int[] {VXCipher.ENCRYPT_MODE, VXCipher.DECRYPT_MODE}) {
            Object cipher = noPassword.getConstructor().newInstance();
            noPassword.getField("mode").setInt(cipher, mode);
            noPassword.getMethod("initKey").invoke(cipher);
            Object state = field(cipher, "context");
            byte[] before = ((byte[]) state).clone();

            assertFailure("java.lang.IllegalStateException", PASSWORD_MISSING,
                    failure(cipher, "update", new byte[32], 0, 32));
            if (mode == VXCipher.ENCRYPT_MODE) { // an empty stream makes its header at doFinal
                assertFailure("java.lang.IllegalStateException", PASSWORD_MISSING,
                        failure(cipher, "doFinal"));
            }
            assertSame(state, field(cipher, "context"));
            assertArrayEquals(before, (byte[]) state);
        }
    }
}
