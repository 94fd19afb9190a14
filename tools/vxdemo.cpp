// vxdemo: encrypts a file into the stream format and decrypts it back,
// printing what happened at each step.
//
//   vxdemo [FILE [PROJECT [PASSWORD]]]
//
// Without FILE a sample text is written to a temporary file first. The
// encrypted stream goes to FILE.vx and the decrypted copy to FILE.out.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cipher/cipher_stream.h"

namespace {

using namespace secnative::cipher;

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Runs one whole stream, feeding the input in 4 KiB updates.
bool run(int32_t mode, const std::string& project, const std::string& password,
         const std::vector<uint8_t>& input, std::vector<uint8_t>& output) {
    uint8_t ctx[kContextSize];
    context_init(ctx, mode, project.data(), project.size());
    const ByteView secret{reinterpret_cast<const uint8_t*>(password.data()), password.size()};
    const uint32_t now = current_header_time();
    size_t pos = 0;
    do {
        const size_t chunk = std::min<size_t>(4096, input.size() - pos);
        UpdatePlan plan;
        const Status status = update_prepare(ctx, {input.data() + pos, chunk}, secret, now, plan);
        if (status != Status::ok) {
            std::fprintf(stderr, "update failed: %s\n", status_message(status));
            return false;
        }
        const size_t at = output.size();
        output.resize(at + plan.output_len());
        update_commit(ctx, plan, output.data() + at);
        pos += chunk;
    } while (pos < input.size());

    FinalOutput last;
    const Status status = final_step(ctx, secret, now, last);
    if (status != Status::ok) {
        std::fprintf(stderr, "final step failed: %s\n", status_message(status));
        return false;
    }
    output.insert(output.end(), last.bytes, last.bytes + last.size);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = argc > 1 ? argv[1] : "/tmp/vxdemo-sample.txt";
    const std::string project = argc > 2 ? argv[2] : "demo";
    const std::string password = argc > 3 ? argv[3] : "correct horse battery staple";
    if (argc <= 1) {
        std::string sample;
        for (int i = 1; i <= 200; ++i) sample += "line " + std::to_string(i) + ": sample text\n";
        write_file(path, std::vector<uint8_t>(sample.begin(), sample.end()));
        std::printf("wrote sample plaintext %s\n", path.c_str());
    }

    const std::vector<uint8_t> plain = read_file(path);
    std::vector<uint8_t> stream, back;
    if (!run(kEncrypt, project, password, plain, stream)) return 1;
    write_file(path + ".vx", stream);
    std::printf("encrypted %zu bytes -> %s.vx (%zu bytes; header %.4s, time %u)\n", plain.size(),
                path.c_str(), stream.size(), reinterpret_cast<const char*>(stream.data()),
                secnative::load32_be(stream.data() + 8));

    if (!run(kDecrypt, project, password, stream, back)) return 1;
    write_file(path + ".out", back);
    const bool same = back == plain;
    std::printf("decrypted %zu bytes -> %s.out: %s\n", back.size(), path.c_str(),
                same ? "identical to the original" : "DIFFERS from the original");
    return same ? 0 : 1;
}
