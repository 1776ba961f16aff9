#include "shell/msg.h"
int main() { Msg::Log(0, 200); return 0; }
