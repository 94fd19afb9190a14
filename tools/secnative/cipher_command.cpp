// encrypt and decrypt: a file or standard input through the stream cipher,
// in constant memory whatever its size.
#include <CLI/CLI.hpp>
#include <memory>
#include <vector>

#include "cipher/cipher_stream.h"
#include "commands.h"
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

void run_cipher(const CipherOptions& o) {
    const bool encrypting = o.mode == kEncrypt;
    const Secret password = o.password.read(encrypting);
    InputFile in(o.input);
    OutputFile out(o.output);
    if (encrypting && out.is_terminal()) {
        throw Failure(kExitUsage, "will not write an encrypted stream to a terminal; use -o FILE");
    }

    uint8_t ctx[kContextSize];
    context_init(ctx, o.mode, o.project.data(), o.project.size());
    const ByteView secret{reinterpret_cast<const uint8_t*>(password.c_str()), password.size()};
    const uint32_t now = current_header_time();
    std::vector<uint8_t> input(kChunk);
    std::vector<uint8_t> output(kChunk + kHeaderSize + kCarrySize);
    Progress progress(encrypting ? "encrypting" : "decrypting", in.size(), !o.quiet);

    for (;;) {
        const size_t n = in.read(input.data(), input.size());
        if (n == 0) break;
        UpdatePlan plan;
        const Status status = update_prepare(ctx, {input.data(), n}, secret, now, plan);
        if (status != Status::ok) reject(status);
        update_commit(ctx, plan, output.data());
        out.write(output.data(), plan.output_len());
        progress.advance(n);
        if (n < input.size()) break;
    }
    FinalOutput last;
    const Status status = final_step(ctx, secret, now, last);
    secure_wipe_object(ctx);
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
    command->footer(kExitStatusHelp);
    command->callback([o] { run_cipher(*o); });
}

}  // namespace

void add_cipher_commands(CLI::App& app) {
    add_cipher_command(app, "encrypt", kEncrypt,
                       "Encrypt a file into the stream format (header, then AES blocks)");
    add_cipher_command(app, "decrypt", kDecrypt,
                       "Decrypt a stream; a wrong password or damaged stream leaves no output "
                       "file");
}

}  // namespace secnative::tool
