package com.ardex.security.demo;

import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.SocketTimeoutException;
import java.nio.charset.StandardCharsets;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.SecureRandom;
import java.util.Arrays;

/**
 * A stand-in for the application's login server, for the demo: listens on an ephemeral loopback
 * port, serves one login at a time on its own thread and knows one account. It greets with a
 * fresh challenge, checks the client's password proof against the account's stored form
 * (SHA-1 of SHA-1 of the password, the only thing a real server keeps) and replies with the
 * client's address, or closes the connection when the proof is wrong.
 */
final class LoginDemoServer implements AutoCloseable {
    static final String INFO = "secnative demo authority";
    static final int[] VERSION = {4, 1, 0};
    private static final int TIMEOUT_MILLIS = 10_000;

    private final ServerSocket listener;
    private final String user;
    private final byte[] stage2;
    private final SecureRandom random = new SecureRandom();
    private final Thread thread;

    LoginDemoServer(String user, String password) throws IOException {
        this.user = user;
        this.stage2 = sha1(sha1(password.getBytes(StandardCharsets.UTF_8)));
        listener = new ServerSocket(0, 4, InetAddress.getLoopbackAddress());
        listener.setSoTimeout(TIMEOUT_MILLIS);
        thread = new Thread(this::serve, "login-demo-server");
        thread.setDaemon(true);
        thread.start();
    }

    String host() {
        return listener.getInetAddress().getHostAddress();
    }

    int port() {
        return listener.getLocalPort();
    }

    @Override
    public void close() throws IOException {
        listener.close();
    }

    private void serve() {
        while (!listener.isClosed()) {
            try (Socket client = listener.accept()) {
                client.setSoTimeout(TIMEOUT_MILLIS);
                client.setTcpNoDelay(true);
                converse(client);
            } catch (SocketTimeoutException idle) {
                // nobody came: keep listening until closed
            } catch (IOException e) {
                if (!listener.isClosed())
                    System.err.println("demo server: " + e);
            }
        }
    }

    private void converse(Socket client) throws IOException {
        InputStream in = client.getInputStream();
        OutputStream out = client.getOutputStream();
        byte[] challenge = new byte[20];
        for (int i = 0; i < challenge.length; i++) challenge[i] = (byte) (33 + random.nextInt(94));
        out.write(greeting(challenge));
        out.flush();

        byte[] request = readFully(in, 100);
        if (!accepts(request, challenge))
            return; // closing is the refusal

        byte[] reply = new byte[16];
        System.arraycopy(client.getInetAddress().getAddress(), 0, reply, 4, 4);
        out.write(reply);
        out.flush();
    }

    private static byte[] greeting(byte[] challenge) {
        byte[] greeting = new byte[100];
        byte[] info = INFO.getBytes(StandardCharsets.UTF_8);
        System.arraycopy(info, 0, greeting, 0, info.length);
        System.arraycopy(challenge, 0, greeting, 64, 20);
        for (int i = 0; i < 3; i++) greeting[97 + i] = (byte) VERSION[i];
        return greeting;
    }

    // The user field must name the account; the proof, XORed with
    // SHA-1(challenge || stage 2), must give a stage 1 whose SHA-1 is stage 2.
    private boolean accepts(byte[] request, byte[] challenge) {
        byte[] expectedUser = Arrays.copyOf(user.getBytes(StandardCharsets.UTF_8), 16);
        byte[] sentUser = Arrays.copyOfRange(request, 44, 60);
        if (request[0] != 'S' || !Arrays.equals(expectedUser, sentUser))
            return false;
        if (request[61] != 20)
            return false;
        byte[] stage1 = sha1(challenge, stage2);
        for (int i = 0; i < 20; i++) stage1[i] ^= request[62 + i];
        return MessageDigest.isEqual(sha1(stage1), stage2);
    }

    private static byte[] readFully(InputStream in, int size) throws IOException {
        byte[] message = new byte[size];
        for (int received = 0; received < size;) {
            int count = in.read(message, received, size - received);
            if (count < 0)
                throw new EOFException("client left after " + received + " bytes");
            received += count;
        }
        return message;
    }

    private static byte[] sha1(byte[]... parts) {
        try {
            MessageDigest digest = MessageDigest.getInstance("SHA-1");
            for (byte[] part : parts) digest.update(part);
            return digest.digest();
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("the JDK has no SHA-1", e);
        }
    }
}
