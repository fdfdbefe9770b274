#pragma once
// What a step of the reference host ends with: done, or failed with the
// message a user reads. Failures travel up as values, never as exceptions;
// only a program's main turns one into an exit status.

#include <string>
#include <utility>

class [[nodiscard]] Result {
public:
    Result() = default;  // done

    static Result Failure(std::string message) { return Result(Kind::Failure, std::move(message)); }
    // A command line that cannot be run as given.
    static Result BadUsage(std::string message) { return Result(Kind::BadUsage, std::move(message)); }

    bool Ok() const { return kind == Kind::Done; }
    // Empty for a failure that was reported where it happened (a batch's files).
    const std::string& Message() const { return message; }
    // The same failure with context in front: "song.vgm: " and the message.
    Result Within(const std::string& context) const
    {
        return Ok() ? *this : Result(kind, context + ": " + message);
    }
    // For main alone: 0 when done, 2 for a bad command line, 1 otherwise.
    int ExitStatus() const { return kind == Kind::Done ? 0 : kind == Kind::BadUsage ? 2 : 1; }

private:
    enum class Kind { Done, Failure, BadUsage };
    Result(Kind k, std::string text) : kind(k), message(std::move(text)) {}

    Kind kind = Kind::Done;
    std::string message;
};
