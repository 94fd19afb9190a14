package com.ardex.security.bench;

import javax.crypto.SecretKey;

/** An AES key made from raw bytes, to hand to javax.crypto.Cipher. */
final class RawAesKey implements SecretKey {
    private static final long serialVersionUID = 1L;

    private final byte[] bytes;

    RawAesKey(byte[] bytes) {
        this.bytes = bytes.clone();
    }

    @Override
    public String getAlgorithm() {
        return "AES";
    }

    @Override
    public String getFormat() {
        return "RAW";
    }

    @Override
    public byte[] getEncoded() {
        return bytes.clone();
    }
}
