#pragma once
// Message boxes for a program without windows: each text is written to a stream
// (standard error for the command line) and answered at once. An OK box answers OK; a
// question is answered with its positive button (Yes, OK, Retry) when the operator
// said so beforehand (`assume_yes`), else with its negative one (No, Cancel). The answer
// follows the text in brackets, so a transcript shows what was decided.

#include <cstdio>

#include "log/cveventlog.h"

cvEventLog::Presenter ConsolePresenter(std::FILE* stream, bool assume_yes);

// The answer ConsolePresenter gives to a box of this style.
int ConsoleAnswer(unsigned style, bool assume_yes);
