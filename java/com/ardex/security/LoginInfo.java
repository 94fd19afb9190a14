package com.ardex.security;

/**
 * What a login sends and what it learns: the user name and password going
 * to the server, and the server's version, its information text and the
 * client address it saw coming back.
 *
 * <p>The native login reads the user and password through {@link #getUser()}
 * and {@link #getPassword()} and reports through the three setters; a
 * subclass may override any of them. A null user logs in as "guest"; a null
 * or empty password sends no password proof. Only the first 16 bytes of the
 * user name and the first 31 bytes of the password (in the JVM's modified
 * UTF-8) take part in the login.
 */
public class LoginInfo {
    private final String user;
    private final String password;
    private volatile String serverInfo;
    private volatile String serverVersion;
    private volatile String clientAddress;

    public LoginInfo(String user, String password) {
        this.user = user;
        this.password = password;
    }

    public String getUser() {
        return user;
    }

    public String getPassword() {
        return password;
    }

    /** The server's information text from its greeting, or null before one arrived. */
    public String getServerInfo() {
        return serverInfo;
    }

    public void setServerInfo(String serverInfo) {
        this.serverInfo = serverInfo;
    }

    /** The server's version as "major.minor.patch", or null before a greeting arrived. */
    public String getServerVersion() {
        return serverVersion;
    }

    public void setServerVersion(String serverVersion) {
        this.serverVersion = serverVersion;
    }

    /** This client's address as the server saw it, dotted; null until a login completed. */
    public String getClientAddress() {
        return clientAddress;
    }

    public void setClientAddress(String clientAddress) {
        this.clientAddress = clientAddress;
    }

    @Override
    public String toString() {
        // Never the password.
        return "LoginInfo[user=" + user + ", serverVersion=" + serverVersion
                + ", serverInfo=" + serverInfo + ", clientAddress=" + clientAddress + "]";
    }
}
