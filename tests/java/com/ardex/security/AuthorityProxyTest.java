package com.ardex.security;

import static com.ardex.security.LoginTestServer.accepts;
import static com.ardex.security.LoginTestServer.expectEndOfStream;
import static com.ardex.security.LoginTestServer.greeting;
import static com.ardex.security.LoginTestServer.randomChallenge;
import static com.ardex.security.LoginTestServer.readFully;
import static com.ardex.security.LoginTestServer.reply;
import static com.ardex.security.LoginTestServer.sendInPieces;
import static com.ardex.security.LoginTestServer.storedForm;
import static com.ardex.security.LoginTestServer.userField;
import static java.nio.charset.StandardCharsets.UTF_8;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.ProtocolException;
import java.net.Socket;
import java.net.SocketTimeoutException;
import java.util.Arrays;
import java.util.Random;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/** The login native through the real JVM against a server on loopback. */
@Timeout(30)
class AuthorityProxyTest {
    private static final Random RANDOM = new Random();
    private static final int CLIENT_TIMEOUT_MILLIS = 5_000;

    /**
     * The real server's side: greets with a random challenge, reads the
     * request, checks it against the stored form and replies only when it is
     * right, closing the connection otherwise. Message pieces and pauses are
     * adjustable.
     */
    static final class StandardServer implements LoginTestServer.Conversation {
        byte[] info = "Ardex authority server".getBytes(UTF_8);
        int[] version = {4, 1, 0};
        byte[] challenge = randomChallenge(RANDOM);
        final String stored;
        int[] greetingPieces = {100};
        int[] replyPieces = {16};
        long pauseMillis = 0;
        byte[] reply = reply(10, 0, 0, 7);
        volatile byte[] request;
        volatile boolean accepted;

        StandardServer(String stored) {
            this.stored = stored;
        }

        @Override
        public void run(InputStream in, OutputStream out) throws Exception {
            byte[] hello = greeting(info, challenge, version[0], version[1], version[2]);
            sendInPieces(out, hello, greetingPieces, pauseMillis);
            request = readFully(in, LoginTestServer.REQUEST_SIZE);
            accepted = accepts(request, challenge, stored);
            if (accepted)
                sendInPieces(out, reply, replyPieces, pauseMillis);
        }
    }

    private static int loginTo(LoginTestServer server, LoginInfo info) throws IOException {
        try (Socket socket = new Socket(server.address(), server.port())) {
            socket.setSoTimeout(CLIENT_TIMEOUT_MILLIS);
            return new AuthorityProxy().login(socket, info);
        }
    }

    private static int run(LoginTestServer.Conversation conversation, LoginInfo info)
            throws Exception {
        try (LoginTestServer server = new LoginTestServer(conversation)) {
            int result = loginTo(server, info);
            server.awaitConversation();
            return result;
        }
    }

    private static byte[] userBytes(String text) {
        return Arrays.copyOf(text.getBytes(UTF_8), 16);
    }

    @Test
    void successReportsServerTextsAndClientAddress() throws Exception {
        StandardServer server = new StandardServer(storedForm("secret"));
        LoginInfo info = new LoginInfo("alice", "secret");
        assertEquals(0, run(server, info));
        assertTrue(server.accepted);
        assertEquals("4.1.0", info.getServerVersion());
        assertEquals("Ardex authority server", info.getServerInfo());
        assertEquals("10.0.0.7", info.getClientAddress());
        byte[] request = server.request;
        assertEquals('S', request[0]);
        assertArrayEquals(userBytes("alice"), userField(request));
        assertArrayEquals(new byte[43], Arrays.copyOfRange(request, 1, 44));
        assertArrayEquals(new byte[18], Arrays.copyOfRange(request, 82, 100));
        assertEquals(20, request[61]);
    }

    // The stored forms here were made with sha1sum, apart from the JDK.
    @Test
    void serverAcceptsStoredFormsMadeWithSha1sum() throws Exception {
        String[][] known = {
                {"secret", "*14E65567ABDB5135D0CFD9A70B3032C179A49EE7"},
                {"Grüße, Zürich", "*078B28DEFA9A20FF7C73A675528F9F897B799EF8"},
        };
        for (String[] account : known) {
            assertEquals(account[1], storedForm(account[0]));
            StandardServer server = new StandardServer(account[1]);
            assertEquals(0, run(server, new LoginInfo("carol", account[0])));
            assertTrue(server.accepted, account[0]);
        }
    }

    @Test
    void wrongPasswordIsRejectedAndTheServerCloses() throws Exception {
        StandardServer server = new StandardServer(storedForm("secret"));
        LoginInfo info = new LoginInfo("alice", "Secret");
        assertEquals(-1, run(server, info));
        assertFalse(server.accepted);
        assertEquals("4.1.0", info.getServerVersion());
        assertEquals("Ardex authority server", info.getServerInfo());
        assertNull(info.getClientAddress());
    }

    static Stream<Arguments> users() {
        return Stream.of(Arguments.of(null, userBytes("guest")), Arguments.of("", new byte[16]),
                Arguments.of("abcdefghijklmnop", userBytes("abcdefghijklmnop")),
                Arguments.of("abcdefghijklmnopqrstuvwxyz", userBytes("abcdefghijklmnop")),
                // the cut after 16 bytes falls inside a two-byte character
                Arguments.of("aÄÖÜäöüßéè", userBytes("aÄÖÜäöüßéè")));
    }

    @ParameterizedTest
    @MethodSource("users")
    void userNameGoesOutAsItsFirstSixteenBytes(String user, byte[] field) throws Exception {
        StandardServer server = new StandardServer(storedForm("secret"));
        assertEquals(0, run(server, new LoginInfo(user, "secret")));
        assertArrayEquals(field, userField(server.request));
        assertTrue(server.accepted);
    }

    @ParameterizedTest
    @MethodSource("noPasswords")
    void nullOrEmptyPasswordSendsNoProof(String password) throws Exception {
        StandardServer server = new StandardServer("");
        LoginInfo info = new LoginInfo("dave", password);
        assertEquals(0, run(server, info));
        assertTrue(server.accepted);
        assertArrayEquals(new byte[21], Arrays.copyOfRange(server.request, 61, 82));

        // An account with a password turns such a request down.
        StandardServer guarded = new StandardServer(storedForm("secret"));
        assertEquals(-1, run(guarded, new LoginInfo("dave", password)));
        assertFalse(guarded.accepted);
    }

    static Stream<String> noPasswords() {
        return Stream.of(null, "");
    }

    @Test
    void onlyTheFirstThirtyOneBytesOfThePasswordCount() throws Exception {
        String longPassword = "0123456789012345678901234567890123456789";
        StandardServer cut = new StandardServer(storedForm(longPassword.substring(0, 31)));
        assertEquals(0, run(cut, new LoginInfo("erin", longPassword)));
        StandardServer whole = new StandardServer(storedForm(longPassword));
        assertEquals(-1, run(whole, new LoginInfo("erin", longPassword)));
    }

    // A zero at position 5 ends the challenge: the client scrambles with the
    // first five bytes and fifteen zeros, which this server (checking the
    // whole 20 bytes it sent) turns down.
    @Test
    void challengeEndsAtItsFirstZeroByte() throws Exception {
        StandardServer server = new StandardServer(storedForm("secret"));
        server.challenge[5] = 0;
        assertEquals(-1, run(server, new LoginInfo("frank", "secret")));
        assertFalse(server.accepted);
        byte[] asText = Arrays.copyOf(server.challenge, 5);
        assertTrue(accepts(server.request, asText, server.stored));
    }

    @Test
    void messagesSplitIntoPiecesWithPausesStillLogIn() throws Exception {
        StandardServer server = new StandardServer(storedForm("secret"));
        server.greetingPieces = new int[] {1, 20, 43, 35, 1};
        server.replyPieces = new int[] {3, 5, 7, 1};
        server.pauseMillis = 40;
        LoginInfo info = new LoginInfo("gina", "secret");
        assertEquals(0, run(server, info));
        assertTrue(server.accepted);
        assertEquals("Ardex authority server", info.getServerInfo());
        assertEquals("10.0.0.7", info.getClientAddress());
    }

    @Test
    void serverTextsAtTheirLimits() throws Exception {
        StandardServer server = new StandardServer(storedForm("secret"));
        byte[] sixty = new byte[60];
        Arrays.fill(sixty, (byte) 'x');
        server.info = sixty;
        server.version = new int[] {255, 255, 255};
        server.reply = reply(255, 255, 255, 255);
        LoginInfo info = new LoginInfo("hank", "secret");
        assertEquals(0, run(server, info));
        assertEquals("x".repeat(60), info.getServerInfo());
        assertEquals("255.255.255", info.getServerVersion());
        assertEquals("255.255.255.255", info.getClientAddress());
    }

    // Network bytes that are not the JVM's modified UTF-8 become '?'; proper
    // text passes unchanged.
    @Test
    void serverInfoIsTextTheJvmCanHold() throws Exception {
        byte[][] sent = {
                "Grüße aus Zürich €".getBytes(UTF_8),
                {'a', (byte) 0xFF, 'b', (byte) 0x80, 'c', (byte) 0xC3},
                {(byte) 0xF0, (byte) 0x9F, (byte) 0x98, (byte) 0x80, '!'},
        };
        String[] expected = {"Grüße aus Zürich €", "a?b?c?", "????!"};
        for (int i = 0; i < sent.length; i++) {
            StandardServer server = new StandardServer(storedForm("secret"));
            server.info = sent[i];
            LoginInfo info = new LoginInfo("ivan", "secret");
            assertEquals(0, run(server, info));
            assertEquals(expected[i], info.getServerInfo());
        }
    }

    // --- failure exits ----------------------------------------------------

    @Test
    void shortGreetingThenCloseFailsBeforeAnySetter() throws Exception {
        byte[] challenge = randomChallenge(RANDOM);
        LoginInfo info = new LoginInfo("judy", "secret");
        int result = run((in, out) -> {
            out.write(greeting("short", challenge), 0, 60);
            out.flush();
        }, info);
        assertEquals(-1, result);
        assertNull(info.getServerVersion());
        assertNull(info.getServerInfo());
        assertNull(info.getClientAddress());
    }

    @Test
    void closeBeforeAnyGreetingFails() throws Exception {
        LoginInfo info = new LoginInfo("judy", "secret");
        assertEquals(-1, run((in, out) -> {}, info));
        assertNull(info.getServerVersion());
    }

    // Over a socket, whether 60 + 50 bytes arrive as two reads or one depends
    // on timing, so a scripted stream hands them over.
    @Test
    void moreThanAGreetingBeforeTheRequestFails() throws Exception {
        byte[] hello = Arrays.copyOf(greeting("eager", randomChallenge(RANDOM)), 110);
        InputStream pieces = new InputStream() {
            private int next = 0;

            @Override
            public int read() {
                throw new AssertionError("the native reads whole arrays");
            }

            @Override
            public int read(byte[] b) {
                if (next >= hello.length)
                    return -1;
                int count = Math.min(next == 0 ? 60 : 50, b.length);
                System.arraycopy(hello, next, b, 0, count);
                next += count;
                return count;
            }
        };
        LoginInfo info = new LoginInfo("kim", "secret");
        assertEquals(-1, new AuthorityProxy().login(pieces, OutputStream.nullOutputStream(), info));
        assertNull(info.getServerVersion());
    }

    @Test
    void serverClosingAfterTheRequestFails() throws Exception {
        byte[] challenge = randomChallenge(RANDOM);
        LoginInfo info = new LoginInfo("leo", "secret");
        int result = run((in, out) -> {
            out.write(greeting("closing", challenge));
            readFully(in, LoginTestServer.REQUEST_SIZE);
        }, info);
        assertEquals(-1, result);
        assertEquals("closing", info.getServerInfo());
        assertEquals("4.1.0", info.getServerVersion());
        assertNull(info.getClientAddress());
    }

    @ParameterizedTest
    @MethodSource("badReplies")
    void replyOfAnyOtherLengthFails(int[] pieces) throws Exception {
        StandardServer server = new StandardServer(storedForm("secret"));
        int total = Arrays.stream(pieces).sum();
        server.reply = Arrays.copyOf(reply(10, 0, 0, 7), total);
        server.replyPieces = pieces;
        server.pauseMillis = 40;
        LoginInfo info = new LoginInfo("mia", "secret");
        assertEquals(-1, run(server, info));
        assertTrue(server.accepted);
        assertNull(info.getClientAddress());
    }

    static Stream<int[]> badReplies() {
        return Stream.of(new int[] {20}, new int[] {10, 10}, new int[] {15}, new int[] {8, 7});
    }

    // --- streams that misbehave -------------------------------------------

    /** An input stream whose read(byte[]) returns what the test says. */
    private static InputStream readReturning(int count) {
        return new InputStream() {
            @Override
            public int read() {
                return count;
            }

            @Override
            public int read(byte[] b) {
                return count;
            }
        };
    }

    @Test
    void streamThatNeverProgressesFails() throws Exception {
        LoginInfo info = new LoginInfo("ned", "secret");
        OutputStream sink = OutputStream.nullOutputStream();
        assertEquals(-1, new AuthorityProxy().login(readReturning(0), sink, info));
        assertEquals(-1, new AuthorityProxy().login(readReturning(101), sink, info));
        assertNull(info.getServerVersion());
    }

    @Test
    void nullArgumentsThrowNullPointerException() {
        InputStream in = new java.io.ByteArrayInputStream(new byte[0]);
        OutputStream out = OutputStream.nullOutputStream();
        LoginInfo info = new LoginInfo("nora", "secret");
        AuthorityProxy proxy = new AuthorityProxy();
        assertThrows(NullPointerException.class, () -> proxy.login(null, out, info));
        assertThrows(NullPointerException.class, () -> proxy.login(in, null, info));
        assertThrows(NullPointerException.class, () -> proxy.login(in, out, null));
    }

    @Test
    void exceptionsFromStreamsReachTheCaller() {
        LoginInfo info = new LoginInfo("olga", "secret");
        InputStream failing = new InputStream() {
            @Override
            public int read() throws IOException {
                throw new IOException("line down");
            }
        };
        IOException thrown = assertThrows(IOException.class,
                () -> new AuthorityProxy().login(failing, OutputStream.nullOutputStream(), info));
        assertEquals("line down", thrown.getMessage());
        assertNull(info.getServerVersion());

        byte[] hello = greeting("writer", randomChallenge(RANDOM));
        OutputStream refusing = new OutputStream() {
            @Override
            public void write(int b) throws IOException {
                throw new IOException("no route");
            }
        };
        assertThrows(IOException.class,
                ()
                        -> new AuthorityProxy().login(
                                new java.io.ByteArrayInputStream(hello), refusing, info));
        assertEquals("4.1.0", info.getServerVersion());
    }

    // Once a call into Java throws, the native makes no further call.
    @Test
    void exceptionsFromTheLoginInfoStopTheExchange() {
        byte[] hello = greeting("getter", randomChallenge(RANDOM));
        boolean[] wrote = {false};
        OutputStream watched = new OutputStream() {
            @Override
            public void write(int b) {
                wrote[0] = true;
            }
        };
        LoginInfo badUser = new LoginInfo("pat", "secret") {
            @Override
            public String getUser() {
                throw new IllegalStateException("no user");
            }
        };
        assertThrows(IllegalStateException.class,
                ()
                        -> new AuthorityProxy().login(
                                new java.io.ByteArrayInputStream(hello), watched, badUser));
        assertFalse(wrote[0]);

        boolean[] askedForUser = {false};
        LoginInfo badSetter = new LoginInfo("pat", "secret") {
            @Override
            public void setServerVersion(String version) {
                throw new IllegalArgumentException("bad version");
            }

            @Override
            public String getUser() {
                askedForUser[0] = true;
                return super.getUser();
            }
        };
        assertThrows(IllegalArgumentException.class,
                ()
                        -> new AuthorityProxy().login(
                                new java.io.ByteArrayInputStream(hello), watched, badSetter));
        assertFalse(askedForUser[0]);
        assertNull(badSetter.getServerInfo());
    }

    @Test
    void silentServerRunsIntoTheSocketTimeout() throws Exception {
        try (LoginTestServer server = new LoginTestServer((in, out) -> expectEndOfStream(in))) {
            try (Socket socket = new Socket(server.address(), server.port())) {
                socket.setSoTimeout(200);
                LoginInfo info = new LoginInfo("quinn", "secret");
                assertThrows(SocketTimeoutException.class,
                        () -> new AuthorityProxy().login(socket, info));
            }
            server.awaitConversation();
        }
    }

    // --- the convenience entry ----------------------------------------------

    @Test
    void connectReturnsTheLoggedInSocketOrThrows() throws Exception {
        StandardServer accepting = new StandardServer(storedForm("secret"));
        try (LoginTestServer server = new LoginTestServer(accepting)) {
            LoginInfo info = new LoginInfo("rita", "secret");
            String host = server.address().getHostAddress();
            try (Socket socket = new AuthorityProxy().connect(host, server.port(), 5_000, info)) {
                assertTrue(socket.isConnected());
                assertEquals("10.0.0.7", info.getClientAddress());
            }
            server.awaitConversation();
        }

        StandardServer refusing = new StandardServer(storedForm("secret"));
        try (LoginTestServer server = new LoginTestServer(refusing)) {
            LoginInfo info = new LoginInfo("rita", "wrong");
            String host = server.address().getHostAddress();
            assertThrows(ProtocolException.class,
                    () -> new AuthorityProxy().connect(host, server.port(), 5_000, info));
            server.awaitConversation();
        }
    }
}
