package com.ardex.security;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetSocketAddress;
import java.net.ProtocolException;
import java.net.Socket;

/**
 * The client side of the login to the application's server, implemented by the native library
 * {@code secnative}.
 *
 * <p>The exchange is three fixed-size messages: the server greets with its version, an
 * information text and a challenge; the client answers with the user name and a proof of the
 * password made from the challenge (the password itself never travels); the server replies with
 * the address it sees the client at. The server's texts end up in the {@link LoginInfo}.
 *
 * <pre>{@code
 * LoginInfo info = new LoginInfo("alice", password);
 * try (Socket socket = new AuthorityProxy().connect("authority.example", 4711, 10_000, info)) {
 *     // logged in: go on talking to the server over socket
 * }
 * }</pre>
 *
 * <p>The exchange completes when the server's reply arrives; the native code does not judge
 * whether the server accepted the user. A server that turns a user down by closing the
 * connection instead of replying ends the exchange early, and the login fails.
 * Objects of this class hold no state; one may serve any number of logins, also at once.
 */
public class AuthorityProxy {
    /** Result of {@link #login(InputStream, OutputStream, LoginInfo)}: the exchange completed. */
    public static final int LOGIN_COMPLETED = 0;
    /** Result of {@link #login(InputStream, OutputStream, LoginInfo)}: the exchange failed. */
    public static final int LOGIN_FAILED = -1;

    // The same library as VXCipher, found the same way.
    static {
        NativeLibrary.load();
    }

    /**
     * Runs the login exchange over connected streams: reads the server's greeting from {@code
     * in}, writes the request to {@code out} and reads the reply. Messages may arrive in pieces;
     * the call blocks until each is whole, so give a socket's streams a read timeout.
     *
     * <p>The server's version and information text are set on {@code info} as soon as the
     * greeting is in, the client address only when the exchange completes.
     *
     * @return {@link #LOGIN_COMPLETED}, or {@link #LOGIN_FAILED} when the connection ended before
     *     a message was whole or a message came longer than it should
     * @throws IOException what the streams throw (a read timeout, for instance)
     * @throws NullPointerException if an argument is null
     */
    public native int login(InputStream in, OutputStream out, LoginInfo info) throws IOException;

    /**
     * Runs the login exchange over a connected socket and leaves it open, for the session that
     * follows. The socket's read timeout, if any, bounds every wait for the server.
     *
     * @see #login(InputStream, OutputStream, LoginInfo)
     */
    public int login(Socket socket, LoginInfo info) throws IOException {
        return login(socket.getInputStream(), socket.getOutputStream(), info);
    }

    /**
     * Connects to the server and logs in. Both the connection and every later read wait at most
     * {@code timeoutMillis} (0 waits for ever).
     *
     * @return the connected socket, logged in; the caller closes it
     * @throws ProtocolException when the exchange did not complete, the server having refused
     *     the user or broken the exchange; the socket is closed then
     * @throws IOException when the connection fails or times out
     */
    public Socket connect(String host, int port, int timeoutMillis, LoginInfo info)
            throws IOException {
        Socket socket = new Socket();
        boolean loggedIn = false;
        try {
            socket.setTcpNoDelay(true);
            socket.setSoTimeout(timeoutMillis);
            socket.connect(new InetSocketAddress(host, port), timeoutMillis);
            if (login(socket, info) != LOGIN_COMPLETED) {
                throw new ProtocolException("login to " + host + ":" + port + " did not complete");
            }
            loggedIn = true;
            return socket;
        } finally {
            if (!loggedIn)
                socket.close();
        }
    }
}
