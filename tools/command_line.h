#pragma once
// The command-line convention that both tools share: CLI11 reads `--name value` and
// `--name=value`; -h and --help print the tool's help, --version its name and version; a
// command line that cannot be understood gets one line with the reason, the usage line, and
// exit code 2.
#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace command_line {

// Exit code of a command line that cannot be understood.
constexpr int BadArguments = 2;
// What Parse returns when the program is to go on and run.
constexpr int Run = -1;

// A help text written out in full, shown by -h and --help in place of CLI11's generated one:
// the tools explain their values, examples and exit codes beyond what an option list holds.
class WrittenHelp : public CLI::Formatter {
public:
    explicit WrittenHelp(std::string text) : text(std::move(text)) { }
    std::string make_help(const CLI::App*, std::string, CLI::AppFormatMode) const override
    {
        return text;
    }

private:
    std::string text;
};

// Gives `app` the tools' help and version flags: -h and --help print `help`, --version the
// program's name and `version`.
inline void Configure(CLI::App& app, const std::string& help, const std::string& version)
{
    app.formatter(std::make_shared<WrittenHelp>(help));
    app.set_help_flag("-h,--help");
    app.set_version_flag("--version", app.get_name() + " " + version);
}

// Prints "<program>: <reason>" and the usage line to `err`; returns BadArguments.
inline int Refuse(const CLI::App& app, const std::string& reason, const std::string& usage,
                  std::ostream& err)
{
    err << app.get_name() << ": " << reason << "\n"
        << usage << " (" << app.get_name() << " --help shows more)\n";
    return BadArguments;
}

// The arguments of main() after the program's name.
inline std::vector<std::string> Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// Reads `args` (without the program name) into what `app` binds. Returns Run when the program
// is to run; 0 after printing the help or the version to `out`; BadArguments after refusing.
inline int Parse(CLI::App& app, const std::vector<std::string>& args, const std::string& usage,
                 std::ostream& out, std::ostream& err)
{
    std::vector<const char*> argv{app.get_name().c_str()};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << "\n";
        return 0;
    } catch (const CLI::ParseError& error) {
        return Refuse(app, error.what(), usage, err);
    }
    return Run;
}

}  // namespace command_line
