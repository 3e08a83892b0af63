#include "devices/TessaroDev.h"

int TessaroDev::setOutputBit(int n, int on) {
  const uint32_t bit = 1u << (n & 31);
  const uint32_t wanted = on ? (outputBits | bit) : (outputBits & ~bit);
  if (wanted != outputBits) {
    outputBits = wanted;
    outputsChanged = true;
  }
  return 0;
}
