#include "transfer/protocol.h"

namespace {

// -v: progress messages on standard error, which the transfer log captures;
// -b: the bytes as they are; -y: replace files of the same name.
constexpr Protocol kProtocols[] = {
    {'Z', "sz -v -b -r -Y -y -e ", "Executing SZ(zmodem) External Protocol....", "rz -b -y -v ",
     "Executing RZ(zmodem) External Protocol...."},
    {'X', "sx -v -b -r -Y -y -e ", "Executing SX(xmodem) External Protocol....", "rx -b -y -v ",
     "Executing RX(xmodem) External Protocol...."},
    {'Y', "sb -v -b -r -Y -y -e ", "Executing SB(ymodem) External Protocol....", "rb -b -y -v ",
     "Executing RB(ymodem) External Protocol...."},
};

}  // namespace

const Protocol* find_protocol(std::string_view letter) {
  if (letter.size() != 1) return nullptr;
  for (const Protocol& protocol : kProtocols) {
    if (protocol.letter == letter[0]) return &protocol;
  }
  return nullptr;
}
