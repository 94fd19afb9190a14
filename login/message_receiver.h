// Collects one fixed-size message from a stream that may deliver it in
// pieces. A network stream's read returns what has arrived so far, not what
// the peer sent as one message, so a single read is not enough.
#ifndef SECNATIVE_LOGIN_MESSAGE_RECEIVER_H
#define SECNATIVE_LOGIN_MESSAGE_RECEIVER_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace secnative::login {

enum class Receive {
    complete,  // exactly the message's size arrived
    overrun,   // more bytes arrived than the message holds
    ended,     // end of stream, an error, or a read count no stream may return
};

// read() fills a reusable array of array_size bytes from its start and
// returns the count (negative for end of stream or an error);
// copy_out(dst, n) copies the array's first n bytes to dst. Reads go on until
// size bytes have arrived, so the loop runs at most size times. A count of
// zero (the stream would never make progress) or above array_size is taken
// as the end.
template <typename Read, typename CopyOut>
Receive receive_message(uint8_t* message, size_t size, size_t array_size, Read&& read,
                        CopyOut&& copy_out) {
    size_t received = 0;
    while (received < size) {
        const long count = read();
        if (count <= 0 || static_cast<unsigned long>(count) > array_size) return Receive::ended;
        const size_t arrived = static_cast<size_t>(count);
        copy_out(message + received, std::min(arrived, size - received));
        received += arrived;
    }
    return received == size ? Receive::complete : Receive::overrun;
}

}  // namespace secnative::login

#endif  // SECNATIVE_LOGIN_MESSAGE_RECEIVER_H
