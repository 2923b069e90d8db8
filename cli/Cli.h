#pragma once
// karto-cli: Karto's modules without a window, for scripted work. RunCli
// takes the arguments after the program name and returns the exit code:
// 0 done, 1 the work failed (unreadable input, unwritable output, unknown
// filter or parameter, a value out of range), 2 the command line is wrong.
// Results go to out, every complaint to err as one clear sentence.

#include <QStringList>
#include <QTextStream>

namespace karto {

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err);

}  // namespace karto
