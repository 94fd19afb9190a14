package com.ardex.security;

import java.security.GeneralSecurityException;

/**
 * Thrown by {@link VXCipher#initKey()} when a stream cannot be started: the mode is neither
 * {@link VXCipher#ENCRYPT_MODE} nor {@link VXCipher#DECRYPT_MODE}, or the class lacks the field
 * that holds the stream state.
 */
public class VXPrivilegeException extends GeneralSecurityException {
    private static final long serialVersionUID = 1L;

    public VXPrivilegeException(String message) {
        super(message);
    }
}
