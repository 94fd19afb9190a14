package com.ardex.security.demo;

import com.ardex.security.AuthorityProxy;
import com.ardex.security.LoginInfo;
import java.io.IOException;
import java.net.ProtocolException;
import java.net.Socket;

/**
 * The login part of the demo: starts a {@link LoginDemoServer} on loopback, logs in to it with
 * {@link AuthorityProxy}, prints what the server told, then shows that a wrong password is
 * turned down.
 */
final class LoginDemo {
    private static final String USER = "demo";
    private static final String PASSWORD = "open sesame";
    private static final int TIMEOUT_MILLIS = 5_000;

    private LoginDemo() {}

    /** Returns true when the right password got in and the wrong one did not. */
    static boolean run() throws IOException {
        try (LoginDemoServer server = new LoginDemoServer(USER, PASSWORD)) {
            System.out.printf("login       user \"%s\" to the demo server at %s:%d%n", USER,
                    server.host(), server.port());
            AuthorityProxy proxy = new AuthorityProxy();
            LoginInfo info = new LoginInfo(USER, PASSWORD);
            try (Socket session =
                            proxy.connect(server.host(), server.port(), TIMEOUT_MILLIS, info)) {
                System.out.printf("server      version %s, \"%s\"%n", info.getServerVersion(),
                        info.getServerInfo());
                System.out.printf("logged in   the server sees this client at %s (local port %d)%n",
                        info.getClientAddress(), session.getLocalPort());
            }

            LoginInfo wrong = new LoginInfo(USER, "guessed");
            try {
                proxy.connect(server.host(), server.port(), TIMEOUT_MILLIS, wrong).close();
                System.out.println("bad login   NOT refused: a wrong password got in");
                return false;
            } catch (ProtocolException expected) {
                System.out.println("bad login   refused: the server closed on a wrong password");
                return true;
            }
        }
    }
}
