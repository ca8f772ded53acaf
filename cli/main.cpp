#include "cli/checked_output.h"
#include "cli/command_line.h"
#include "cli/messages.h"
#include "cli/program_io.h"

#include <cstdio>

int main(int argc, char** argv) {
    velmora::useBinaryOutput();
    velmora::useUserLanguage();
    const int status = velmora::runCommandLine(velmora::programArguments(argc, argv), stdout, stderr);
    return velmora::closeOutput(stdout, stderr, status);
}
