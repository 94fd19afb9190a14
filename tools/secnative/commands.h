// The subcommands of the secnative tool; each adds itself to the application.
#ifndef SECNATIVE_TOOLS_COMMANDS_H
#define SECNATIVE_TOOLS_COMMANDS_H

namespace CLI {
class App;
}

namespace secnative::tool {

void add_cipher_commands(CLI::App& app);    // encrypt, decrypt
void add_xml_commands(CLI::App& app);       // xml check, format, get
void add_password_commands(CLI::App& app);  // password hash, verify
void add_base64_commands(CLI::App& app);    // base64 encode, decode

}  // namespace secnative::tool

#endif  // SECNATIVE_TOOLS_COMMANDS_H
