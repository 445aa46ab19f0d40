#include "shell/Entry.h"

int main(int argc, char **argv)
{
    return orvex::RunOrvex(argc, argv);
}
