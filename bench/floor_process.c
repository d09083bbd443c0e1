/* The process floor: a program that writes one short line and ends, started
   and waited for the way the gateway starts the processor. */
#include <stdio.h>

int main(void) {
  fputs("floor", stdout);
  return 0;
}
