#define SQ(x) ((x)*(x))
#define CAT(b) pre##b##post
#include "a.h"
/* nested /* comment */ */
int main() { return SQ(1+2) + CAT(mid) + 0x1F + 0b101 + 1.5f + '\65'; }
char *s = "ab" "cd\x41\101";
#trap
int f();
#asm
	nop
#endasm
