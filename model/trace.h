#pragma once

#include <QString>
#include <functional>

namespace okukipo {

// Every diagnostic trace line of the program ("Saving...", "attempting
// connection", ...) goes through this one sink.  The GUI writes them to
// standard output; the command-line tool to standard error when asked to be
// verbose (its standard output carries only its result), else nowhere.
enum class TraceTarget { StandardOutput, StandardError, Discard };

void setTraceTarget(TraceTarget target);

// Replaces the stream with a handler (tests capture lines this way); an
// empty handler restores the stream.
void setTraceHandler(std::function<void(const QString &line)> handler);

// Writes one line (a newline is added) and flushes.  Thread-safe.
void trace(const QString &line);

} // namespace okukipo
