#include "cli/command_line.h"
#include "cli/program_io.h"

#include <cstdio>

int main(int argc, char** argv) {
    velmora::useBinaryOutput();
    return velmora::runCommandLine(velmora::programArguments(argc, argv), stdout, stderr);
}
