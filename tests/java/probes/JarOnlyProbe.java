import com.ardex.security.AuthorityProxy;
import com.ardex.security.LoginInfo;
import com.ardex.security.VXCipher;
import com.ardex.security.VXCipherInputStream;
import com.ardex.security.VXCipherOutputStream;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.Random;

/**
 * Run by NativeLibraryTest in a virtual machine of its own, as a source file, with secnative.jar
 * alone on the class path: a round trip through the cipher streams and a call of the login
 * native, then one line "mapped PATH" for each mapping of a secnative library file.
 */
public class JarOnlyProbe {
    public static void main(String[] args) throws Exception {
        byte[] plain = new byte[100_003];
        new Random(1).nextBytes(plain);
        VXCipher encryptor = new VXCipher(VXCipher.ENCRYPT_MODE, "Probe", "pw");
        encryptor.initKey();
        ByteArrayOutputStream sealed = new ByteArrayOutputStream();
        try (OutputStream out = new VXCipherOutputStream(sealed, encryptor)) {
            out.write(plain);
        }
        VXCipher decryptor = new VXCipher(VXCipher.DECRYPT_MODE, "Probe", "pw");
        decryptor.initKey();
        byte[] opened;
        try (InputStream in = new VXCipherInputStream(
                     new ByteArrayInputStream(sealed.toByteArray()), decryptor)) {
            opened = in.readAllBytes();
        }
        if (!Arrays.equals(plain, opened))
            throw new AssertionError("the round trip changed the data");

        // The second class with natives finds them in the library already loaded.
        int login = new AuthorityProxy().login(new ByteArrayInputStream(new byte[0]),
                new ByteArrayOutputStream(), new LoginInfo("u", "p"));
        if (login != AuthorityProxy.LOGIN_FAILED)
            throw new AssertionError("login on an empty stream gave " + login);

        Path maps = Paths.get("/proc/self/maps");
        if (Files.exists(maps)) {
            Files.readAllLines(maps)
                    .stream()
                    .filter(line -> line.contains("secnative") && line.contains(".so"))
                    .map(line -> line.substring(line.indexOf('/')))
                    .distinct()
                    .forEach(path -> System.out.println("mapped " + path));
        }
        System.out.println("round trip ok");
    }
}
