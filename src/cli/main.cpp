#include "CommandLine.h"

int main(int argc, char *argv[])
{
    return plaintrove::cli::run(argc, argv);
}
