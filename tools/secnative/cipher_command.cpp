// encrypt and decrypt: a file or standard input through the stream cipher,
// in constant memory whatever its size.
#include <CLI/CLI.hpp>
#include <memory>
#include <vector>

#include "cipher/cipher_stream.h"
#include "commands.h"
#include "common/bytes.h"
#include "common/secret_buffer.h"
#include "exit_status.h"
#include "file_io.h"
#include "password_source.h"
#include "progress.h"

namespace secnative::tool {

namespace {

using namespace secnative::cipher;

constexpr size_t kChunk = size_t{1} << 20;

struct CipherOptions {
    int32_t mode = kEncrypt;
    std::string project;
    std::string input = "-";
    std::string output = "-";
    bool quiet = false;
    PasswordSource password;
};

[[noreturn]] void reject(Status status) {
    throw Failure(kExitRejected, status_message(status));
}

// A buffer the plaintext passes through, wiped when it goes.
class WipedBuffer {
  public:
    explicit WipedBuffer(size_t size) : bytes_(size) {}
    ~WipedBuffer() { secure_wipe(bytes_.data(), bytes_.size()); }
    WipedBuffer(const WipedBuffer&) = delete;
    WipedBuffer& operator=(const WipedBuffer&) = delete;
    uint8_t* data() { return bytes_.data(); }
    size_t size() const { return bytes_.size(); }

  private:
    std::vector<uint8_t> bytes_;
};

// The last output, wiped when it goes: decrypted bytes.
struct WipedFinalOutput : FinalOutput {
    WipedFinalOutput() = default;
    ~WipedFinalOutput() { secure_wipe_object(static_cast<FinalOutput&>(*this)); }
    WipedFinalOutput(const WipedFinalOutput&) = delete;
    WipedFinalOutput& operator=(const WipedFinalOutput&) = delete;
};

void run_cipher(const CipherOptions& o) {
    const bool encrypting = o.mode == kEncrypt;
    // The password comes first: a prompt, or a failure to read it, leaves no
    // output file behind.
    Secret password;
    o.password.read(encrypting, password, o.input == "-");
    InputFile in(o.input);
    OutputFile out(o.output);
    if (encrypting && out.is_terminal()) {
        throw Failure(kExitUsage, "will not write an encrypted stream to a terminal; use -o FILE");
    }

    // The context holds the key schedule once the header step has run; it
    // and the password are wiped however the run ends, a rejection included.
    SecretBuffer<uint8_t, kContextSize> ctx;
    context_init(ctx.data(), o.mode, o.project.data(), o.project.size());
    const ByteView secret{password.bytes(), password.size()};
    const uint32_t now = current_header_time();
    WipedBuffer input(kChunk);
    WipedBuffer output(kChunk + kHeaderSize + kCarrySize);
    Progress progress(encrypting ? "encrypting" : "decrypting", in.size(), !o.quiet);

    for (;;) {
        const size_t n = in.read(input.data(), input.size());
        if (n == 0) break;
        UpdatePlan plan;
        const Status status = update_prepare(ctx.data(), {input.data(), n}, secret, now, plan);
        if (status != Status::ok) reject(status);
        update_commit(ctx.data(), plan, output.data());
        out.write(output.data(), plan.output_len());
        progress.advance(n);
        if (n < input.size()) break;
    }
    WipedFinalOutput last;
    const Status status = final_step(ctx.data(), secret, now, last);
    if (status != Status::ok) reject(status);
    out.write(last.bytes, last.size);
    out.commit();
}

void add_cipher_command(CLI::App& app, const char* name, int32_t mode, const char* description) {
    auto o = std::make_shared<CipherOptions>();
    o->mode = mode;
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("-p,--project", o->project, "Project name the key is made with")
        ->required();
    command->add_option("input", o->input, "Input file (default -, standard input)");
    command->add_option("-o,--output", o->output, "Output file (default -, standard output)");
    o->password.add_options(*command);
    command->add_flag("-q,--quiet", o->quiet, "No progress line on standard error");
    command->footer(std::string(kPasswordHelp) + "\n" + kExitStatusHelp);
    command->callback([o] { run_cipher(*o); });
}

}  // namespace

void add_cipher_commands(CLI::App& app) {
    add_cipher_command(app, "encrypt", kEncrypt,
                       "Encrypt a file into the stream format (header, then AES blocks)");
    add_cipher_command(app, "decrypt", kDecrypt,
                       "Decrypt a stream; a failed padding check or a damaged stream leaves no "
                       "output file (standard output already has all but the last block). A "
                       "wrong password passes the padding check about once in 256 and then "
                       "yields wrong data");
}

}  // namespace secnative::tool
