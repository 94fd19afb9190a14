package com.ardex.security;

import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Arrays;
import java.util.Random;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;

/**
 * A login server for tests: listens on an ephemeral loopback port, takes one
 * connection and runs a conversation with it on its own thread. The helpers
 * build greetings and replies and check a request the way the real server
 * does, with the JDK's own SHA-1, so nothing here shares code with the
 * native side.
 */
final class LoginTestServer implements AutoCloseable {
    static final int GREETING_SIZE = 100;
    static final int REQUEST_SIZE = 100;
    static final int REPLY_SIZE = 16;
    static final int TIMEOUT_MILLIS = 10_000;

    /** What the server does with the one connection it accepts. */
    interface Conversation {
        void run(InputStream in, OutputStream out) throws Exception;
    }

    private final ServerSocket listener;
    private final CompletableFuture<Void> finished = new CompletableFuture<>();

    LoginTestServer(Conversation conversation) throws IOException {
        listener = new ServerSocket(0, 1, InetAddress.getLoopbackAddress());
        listener.setSoTimeout(TIMEOUT_MILLIS);
        Thread thread = new Thread(() -> serve(conversation), "login-test-server");
        thread.setDaemon(true);
        thread.start();
    }

    private void serve(Conversation conversation) {
        try (Socket client = listener.accept()) {
            client.setSoTimeout(TIMEOUT_MILLIS);
            client.setTcpNoDelay(true); // pieces go out as written
            conversation.run(client.getInputStream(), client.getOutputStream());
            finished.complete(null);
        } catch (Throwable failure) {
            finished.completeExceptionally(failure);
        }
    }

    int port() {
        return listener.getLocalPort();
    }

    InetAddress address() {
        return listener.getInetAddress();
    }

    /** Waits for the conversation to end and rethrows what went wrong in it. */
    void awaitConversation() throws Exception {
        try {
            finished.get(TIMEOUT_MILLIS, TimeUnit.MILLISECONDS);
        } catch (java.util.concurrent.ExecutionException e) {
            if (e.getCause() instanceof Exception)
                throw(Exception) e.getCause();
            throw new AssertionError(e.getCause());
        }
    }

    @Override
    public void close() throws IOException {
        listener.close();
    }

    // --- messages -------------------------------------------------------

    /** Twenty characters from '!' to '~', as the real server makes them. */
    static byte[] randomChallenge(Random random) {
        byte[] challenge = new byte[20];
        for (int i = 0; i < challenge.length; i++) challenge[i] = (byte) (33 + random.nextInt(94));
        return challenge;
    }

    /** A greeting: info text at 0 (at most 60 bytes), challenge at 64, version at 97..99. */
    static byte[] greeting(byte[] info, byte[] challenge, int major, int minor, int patch) {
        byte[] greeting = new byte[GREETING_SIZE];
        Arrays.fill(greeting, 60, 64, (byte) 0x5A); // bytes nobody interprets
        Arrays.fill(greeting, 84, 97, (byte) 0x5A);
        System.arraycopy(info, 0, greeting, 0, Math.min(info.length, 60));
        System.arraycopy(challenge, 0, greeting, 64, Math.min(challenge.length, 20));
        greeting[97] = (byte) major;
        greeting[98] = (byte) minor;
        greeting[99] = (byte) patch;
        return greeting;
    }

    static byte[] greeting(String info, byte[] challenge) {
        return greeting(info.getBytes(StandardCharsets.UTF_8), challenge, 4, 1, 0);
    }

    /** A reply carrying the client address a.b.c.d at bytes 4..7, other bytes non-zero. */
    static byte[] reply(int a, int b, int c, int d) {
        byte[] reply = new byte[REPLY_SIZE];
        Arrays.fill(reply, (byte) 0xC9);
        reply[4] = (byte) a;
        reply[5] = (byte) b;
        reply[6] = (byte) c;
        reply[7] = (byte) d;
        return reply;
    }

    static void sendInPieces(OutputStream out, byte[] message, int[] pieces, long pauseMillis)
            throws IOException, InterruptedException {
        int sent = 0;
        for (int piece : pieces) {
            if (sent > 0)
                Thread.sleep(pauseMillis);
            out.write(message, sent, piece);
            out.flush();
            sent += piece;
        }
        if (sent != message.length)
            throw new IllegalArgumentException("pieces do not add up");
    }

    static byte[] readFully(InputStream in, int size) throws IOException {
        byte[] message = new byte[size];
        int received = 0;
        while (received < size) {
            int count = in.read(message, received, size - received);
            if (count < 0)
                throw new EOFException("after " + received + " of " + size + " bytes");
            received += count;
        }
        return message;
    }

    /** Reads until the peer closes; fails if it sends anything. */
    static void expectEndOfStream(InputStream in) throws IOException {
        int next = in.read();
        if (next >= 0)
            throw new AssertionError("client sent more than the request");
    }

    // --- the server's password check --------------------------------------

    static byte[] sha1(byte[]... parts) {
        try {
            MessageDigest digest = MessageDigest.getInstance("SHA-1");
            for (byte[] part : parts) digest.update(part);
            return digest.digest();
        } catch (NoSuchAlgorithmException e) {
            throw new AssertionError(e);
        }
    }

    /** '*' and the upper-case hex of SHA-1(SHA-1(password)); "" for no password. */
    static String storedForm(byte[] password) {
        if (password.length == 0)
            return "";
        StringBuilder text = new StringBuilder("*");
        for (byte b : sha1(sha1(password))) text.append(String.format("%02X", b & 0xFF));
        return text.toString();
    }

    static String storedForm(String password) {
        return storedForm(password.getBytes(StandardCharsets.UTF_8));
    }

    /**
     * Whether the request proves the password whose stored form is given:
     * stage 1 = reply XOR SHA-1(challenge || stage 2) must hash to stage 2.
     * An account without password ("") accepts only a request without proof.
     */
    static boolean accepts(byte[] request, byte[] challenge, String stored) {
        int length = request[61] & 0xFF;
        if (stored.isEmpty())
            return length == 0;
        if (length != 20)
            return false;
        byte[] stage2 = new byte[20];
        for (int i = 0; i < 20; i++) {
            stage2[i] = (byte) Integer.parseInt(stored.substring(1 + 2 * i, 3 + 2 * i), 16);
        }
        byte[] stage1 = sha1(Arrays.copyOf(challenge, 20), stage2);
        for (int i = 0; i < 20; i++) stage1[i] ^= request[62 + i];
        return MessageDigest.isEqual(sha1(stage1), stage2);
    }

    /** The user field of a request, bytes 44..59. */
    static byte[] userField(byte[] request) {
        return Arrays.copyOfRange(request, 44, 60);
    }
}
