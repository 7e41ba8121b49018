#pragma once

#include <optional>
#include <string>

// Where kelvoctl finds the Kelvo it drives: the kelvo program (beside kelvoctl, or on PATH) and
// the instance socket of the track list that program keeps, by the same rules as the program
// itself (beside the program when that folder is writable or the file there is, unless it is
// installed in a system folder; otherwise per user under $XDG_CONFIG_HOME/kelvo). Needs the C
// and C++ libraries alone.
class InstanceFinder
{
public:
    // ownPath: how kelvoctl was started (argv[0]), for the folder it lives in.
    explicit InstanceFinder(const std::string &ownPath);

    // The kelvo program; empty when there is none beside kelvoctl nor on PATH.
    const std::string &program() const { return m_program; }
    // The socket of the instance that keeps the program's track list; empty, with the reason
    // in error(), when there is no private folder for it.
    const std::string &socketPath() const { return m_socketPath; }
    const std::string &error() const { return m_error; }

    // The track list's path for a program in folder (exposed for tests).
    static std::string trackListPath(const std::string &folder);

private:
    std::string m_program;
    std::string m_socketPath;
    std::string m_error;
};
