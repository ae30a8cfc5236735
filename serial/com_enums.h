// The serial port component's enumerations (line rate, data and stop bits,
// parity, flow control, events, line errors, delivery modes, modem lines)
// and the sets over them. Plain values: every other part of the component
// and its users name settings and events through these.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace voxa {

enum TBaudRate : uint8_t {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
  br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits : uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : uint8_t {
  evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
enum TComError : uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TSyncMethod : uint8_t { smThreadSync, smWindowSync, smNone };
enum TStoredProp : uint8_t { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
enum TModemSignal : uint8_t { msCTS, msDSR, msRing, msRLSD };

// A set over one of the enumerations above: member n at bit n.
template <typename E, typename Bits>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> members) {
    for (E member : members) Include(member);
  }
  static constexpr EnumSet FromBits(Bits bits) {
    EnumSet set;
    set.bits_ = bits;
    return set;
  }
  constexpr Bits ToBits() const { return bits_; }
  constexpr bool Contains(E member) const { return (bits_ & Bit(member)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr void Include(E member) { bits_ = static_cast<Bits>(bits_ | Bit(member)); }
  constexpr void Exclude(E member) { bits_ = static_cast<Bits>(bits_ & ~Bit(member)); }
  friend constexpr bool operator==(EnumSet a, EnumSet b) { return a.bits_ == b.bits_; }
  friend constexpr EnumSet operator|(EnumSet a, EnumSet b) { return FromBits(static_cast<Bits>(a.bits_ | b.bits_)); }
  friend constexpr EnumSet operator&(EnumSet a, EnumSet b) { return FromBits(static_cast<Bits>(a.bits_ & b.bits_)); }

 private:
  static constexpr Bits Bit(E member) { return static_cast<Bits>(Bits{1} << static_cast<unsigned>(member)); }
  Bits bits_ = 0;
};

using TComEvents = EnumSet<TComEvent, uint16_t>;
using TComErrors = EnumSet<TComError, uint8_t>;
using TStoredProps = EnumSet<TStoredProp, uint8_t>;
using TModemSignals = EnumSet<TModemSignal, uint8_t>;

inline constexpr TComEvents kAllComEvents = TComEvents::FromBits(0x03FF);

}  // namespace voxa
