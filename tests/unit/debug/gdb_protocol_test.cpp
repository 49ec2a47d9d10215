// The GDB protocol layer against exchanges recorded from gdb-multiarch 13 talking to it (with the
// fake target behind it; tests/debug/gdb_fake_server.cpp logged them): GDB's packets byte for
// byte, and the replies that GDB accepted. Then what a session must do that GDB rarely shows:
// broken checksums, repeats, packets split across reads, targets that refuse.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "gdb_protocol.hpp"
#include "support/fake_debug_target.hpp"

namespace {

using gdb::GdbSession;
using testsupport::FakeDebugTarget;

struct Exchange {
    const char* what;
    std::string gdb;   // bytes from the debugger
    std::string stub;  // bytes the session must send back
};

// Feeds one exchange; a stop the fake target produced is reported as the owner would.
std::string Exchanged(GdbSession& session, FakeDebugTarget& target, const std::string& in) {
    session.receive(in);
    if (const auto stop = target.takeStop(); stop && session.running()) {
        session.stopped(*stop);
    }
    return session.takeOutput();
}

std::string Framed(const std::string& payload) {
    return GdbSession::Frame(payload);
}

TEST(GdbProtocol, AnswersARecordedSessionOfGdbAsGdbAcceptedIt) {
    FakeDebugTarget target;
    GdbSession session(target);
    const std::string registers =
        "000000000100000002000000030000000400000005000000060000000700000008000000090000000a000000"
        "0b0000000c00000000100020ffffffff0018000000000001001000200000000000000000000000000000000000"
        "000000";
    const std::vector<Exchange> exchanges = {
        // The handshake, still with acknowledgements.
        {"features", "+$qSupported:multiprocess+;swbreak+;hwbreak+;qRelocInsn+;fork-events+;"
                     "vfork-events+;exec-events+;vContSupported+;QThreadEvents+;no-resumed+;"
                     "memory-tagging+;xmlRegisters=i386#77",
         "+$PacketSize=4000;QStartNoAckMode+;qXfer:features:read+;qXfer:memory-map:read+;swbreak+;"
         "hwbreak+;vContSupported+;ReverseContinue+;ReverseStep+#9f"},
        {"must reply empty", "+$vMustReplyEmpty#3a", "+$#00"},
        {"no-ack mode", "+$QStartNoAckMode#b0", "+$OK#9a"},
        // From here on neither side acknowledges.
        {"thread", "+$Hg0#df", "$OK#9a"},
        {"target description", "$qXfer:features:read:target.xml:0,1000#0c",
         Framed("l" + gdb::TargetDescriptionXml())},
        {"status", "$qTStatus#49", "$#00"},
        {"why halted", "$?#3f", "$T05thread:1;#d7"},
        {"threads", "$qfThreadInfo#bb", "$m1#9e"},
        {"threads end", "$qsThreadInfo#c8", "$l#6c"},
        {"attached", "$qAttached#8f", "$1#31"},
        {"registers", "$g#67", Framed(registers)},
        {"memory map", "$qXfer:memory-map:read::0,1000#ab", Framed("l" + gdb::MemoryMapXml())},
        {"flash", "$m1800,4#96", "$00bf00bf#50"},
        {"binary write probe", "$X20000000,0:#70", "$OK#9a"},
        {"binary write", std::string("$X20000000,4:xV4\x12#88"), "$OK#9a"},
        {"escaped binary write", std::string("$X20000004,4:}\x04}\x0a}\x03}]#da"), "$OK#9a"},
        {"memory", "$m20000000,4#4f", "$78563412#a4"},
        {"escaped bytes", "$m20000004,4#53", "$242a237d#f9"},
        {"register write", "$P3=feca0000#0f", "$OK#9a"},
        {"hardware breakpoint", "$Z1,1810,2#df", "$OK#9a"},
        {"resume actions", "$vCont?#49", "$vCont;c;C;s;S#62"},
        {"continue to it", "$vCont;c#a8", "$T05thread:1;hwbreak:;#30"},
        {"breakpoint out", "$z1,1810,2#ff", "$OK#9a"},
        {"step", "$vCont;s:1#23", "$T05thread:1;#d7"},
        {"write watchpoint", "$Z2,20000010,4#9b", "$OK#9a"},
        {"continue to it", "$vCont;c#a8", "$T05thread:1;watch:20000010;#e6"},
        {"watchpoint out", "$z2,20000010,4#bb", "$OK#9a"},
        {"step off it", "$vCont;s:1#23", "$T05thread:1;#d7"},
        {"read watchpoint", "$Z3,20000020,4#9d", "$OK#9a"},
        {"continue to it", "$vCont;c#a8", "$T05thread:1;rwatch:20000020;#59"},
        {"read watchpoint out", "$z3,20000020,4#bd", "$OK#9a"},
        {"step off it", "$vCont;s:1#23", "$T05thread:1;#d7"},
        {"access watchpoint", "$Z4,20000030,4#9f", "$OK#9a"},
        {"continue to it", "$vCont;c#a8", "$T05thread:1;awatch:20000030;#49"},
        {"access watchpoint out", "$z4,20000030,4#bf", "$OK#9a"},
        {"step off it", "$vCont;s:1#23", "$T05thread:1;#d7"},
        {"monitor", "$qRcmd,737461747573#a0",
         "$O68616c74656420617420307830303030313831650a#20$OK#9a"},
        {"breakpoint below", "$Z1,1804,2#e2", "$OK#9a"},
        {"thread for steps", "$Hc0#db", "$OK#9a"},
        {"reverse step", "$bs#d5", "$T05thread:1;#d7"},
        {"reverse continue", "$bc#c5", "$T05thread:1;hwbreak:;#30"},
        {"breakpoint below out", "$z1,1804,2#02", "$OK#9a"},
        {"continue, nothing to stop at", "$vCont;c#a8", ""},
        {"interrupt", "\x03", "$T02thread:1;#d4"},
        {"detach", "$D#44", "$OK#9a"},
    };
    for (const Exchange& e : exchanges) {
        EXPECT_EQ(Exchanged(session, target, e.gdb), e.stub) << e.what;
    }
    EXPECT_EQ(target.get(static_cast<gdb::Register>(3)), 0xcafeu);
    using gdb::Resume;
    const Resume c = Resume::Continue;
    const Resume s = Resume::Step;
    EXPECT_EQ(target.resumes, (std::vector<Resume>{c, s, c, s, c, s, c, s, Resume::ReverseStep,
                                                   Resume::ReverseContinue, c}));
    EXPECT_EQ(target.monitorCommands, std::vector<std::string>{"status"});
    EXPECT_TRUE(target.detached);
    EXPECT_TRUE(session.closed());
}

// The description names the 'g' packet's registers in its order, at the numbers 'p' takes.
TEST(GdbProtocol, TheTargetDescriptionMatchesTheRegisterPacket) {
    const std::string& xml = gdb::TargetDescriptionXml();
    const std::regex reg("<reg name=\"([a-z0-9]+)\" bitsize=\"32\"[^>]* regnum=\"([0-9]+)\"");
    const char* names[] = {"r0", "r1", "r2",  "r3",  "r4",   "r5",  "r6",      "r7",
                           "r8", "r9", "r10", "r11", "r12",  "sp",  "lr",      "pc",
                           "xpsr", "msp", "psp", "primask", "basepri", "faultmask", "control"};
    ASSERT_EQ(std::size(names), static_cast<size_t>(gdb::kRegisterCount));
    int index = 0;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), reg); it != std::sregex_iterator();
         ++it, ++index) {
        ASSERT_LT(index, gdb::kRegisterCount);
        EXPECT_EQ((*it)[1], names[index]);
        const auto r = static_cast<gdb::Register>(index);
        EXPECT_EQ(std::stoi((*it)[2]), gdb::ProtocolNumber(r)) << names[index];
        EXPECT_EQ(gdb::RegisterForNumber(static_cast<uint32_t>(gdb::ProtocolNumber(r))), r);
    }
    EXPECT_EQ(index, gdb::kRegisterCount);
    EXPECT_NE(xml.find("<feature name=\"org.gnu.gdb.arm.m-profile\">"), std::string::npos);
    EXPECT_NE(xml.find("<feature name=\"org.gnu.gdb.arm.m-system\">"), std::string::npos);
    EXPECT_EQ(gdb::RegisterForNumber(16), gdb::Register::Count);  // GDB's old FPA numbers
    EXPECT_EQ(gdb::RegisterForNumber(32), gdb::Register::Count);
    // The memory map: flash read-only, the rest plain memory.
    EXPECT_NE(gdb::MemoryMapXml().find("type=\"rom\" start=\"0x00000000\" length=\"0x40000\""),
              std::string::npos);
}

TEST(GdbProtocol, FramesRepeatsRefusalsAndPiecesAsTheProtocolSays) {
    FakeDebugTarget target;
    GdbSession session(target);
    const std::vector<Exchange> exchanges = {
        {"a bad checksum is refused", "$g#00", "-"},
        {"a packet in pieces", Framed("m20000000,2").substr(0, 5), ""},
        {"... ends", Framed("m20000000,2").substr(5), "+" + Framed("0000")},
        {"the debugger asks again", "-", Framed("0000")},
        {"an ack ends the repeats", "+-", ""},
        {"unmapped memory", Framed("m10000000,4"), "+$E01#a6"},
        {"a store to flash", Framed("M1800,2:0000"), "+$E01#a6"},
        {"a write shorter than it says", Framed("M20000000,2:00"), "+$E01#a6"},
        {"no such register", Framed("p10"), "+$E01#a6"},
        {"xpsr by its number", Framed("p19"), "+" + Framed("00000001")},
        {"control by its number", Framed("P1f=01000000"), "+$OK#9a"},
        {"a feature document in pieces", Framed("qXfer:features:read:target.xml:0,10"),
         "+" + Framed("m" + gdb::TargetDescriptionXml().substr(0, 16))},
        {"past the end", Framed("qXfer:features:read:target.xml:ffff,10"), "+$l#6c"},
        {"another annex", Framed("qXfer:features:read:other.xml:0,10"), "+$E01#a6"},
        {"an unknown packet", Framed("qFancy"), "+$#00"},
        {"a step resumes at an address", Framed("s1900"), "+$T05thread:1;#d7"},
        {"monitor output is hex", Framed("qRcmd," + gdb::ToHex("echo a#b")),
         "+" + Framed("O6123620a") + "$OK#9a"},
        {"kill: no reply", Framed("k"), "+"},
        {"nothing after it", "$g#67", "+"},
    };
    for (const Exchange& e : exchanges) {
        EXPECT_EQ(Exchanged(session, target, e.gdb), e.stub) << e.what;
    }
    EXPECT_EQ(target.get(gdb::Register::Control), 1u);
    EXPECT_EQ(target.get(gdb::Register::Pc), 0x1902u);
    EXPECT_TRUE(target.killed);
    // The whole feature document, read in the debugger's pieces, is the document.
    GdbSession reader(target);
    std::string whole;
    for (size_t offset = 0;;) {
        char packet[64];
        std::snprintf(packet, sizeof(packet), "qXfer:features:read:target.xml:%zx,100", offset);
        const std::string out = Exchanged(reader, target, Framed(packet));
        ASSERT_GE(out.size(), 5u);
        const std::string payload = out.substr(2, out.size() - 5);  // "+$" ... "#xx"
        whole += payload.substr(1);
        offset += payload.size() - 1;
        if (payload[0] == 'l') {
            break;
        }
        ASSERT_EQ(payload[0], 'm');
    }
    EXPECT_EQ(whole, gdb::TargetDescriptionXml());
}

TEST(GdbProtocol, EscapesWhatTheFramingReserves) {
    // '*' too, which would start a run-length code; the checksum counts the escaped bytes.
    EXPECT_EQ(GdbSession::Frame("a#b$c}d*e"), "$a}\x03" "b}\x04" "c}]d}\x0a" "e#51");
    EXPECT_EQ(GdbSession::Frame(""), "$#00");
}

TEST(GdbProtocol, ATargetWithoutReverseOrWatchpointsSaysSo) {
    struct Limited : FakeDebugTarget {
        bool supports(gdb::BreakKind kind) const override {
            return kind == gdb::BreakKind::Software;
        }
        bool resume(gdb::Resume how, std::string& why) override {
            if (how != gdb::Resume::Continue) {
                why = "stepping is switched off";
                return false;
            }
            return FakeDebugTarget::resume(how, why);
        }
    } target;
    target.allowReverse(false);
    GdbSession session(target);
    const std::vector<Exchange> exchanges = {
        {"no reverse advertised", Framed("qSupported:swbreak+"),
         "+" + Framed("PacketSize=4000;QStartNoAckMode+;qXfer:features:read+;"
                      "qXfer:memory-map:read+;swbreak+;hwbreak+;vContSupported+")},
        {"no reverse continue", "$bc#c5", "+$#00"},
        {"no watchpoints", "$Z2,20000010,4#9b", "+$#00"},
        {"software breakpoints", Framed("Z0,1810,2"), "+$OK#9a"},
        {"a refused resume says why, then fails", Framed("vCont;s"),
         "+" + Framed("O" + gdb::ToHex("stepping is switched off\n")) + "$E01#a6"},
        {"continue", "$vCont;c#a8", "+" + Framed("T05thread:1;swbreak:;")},
    };
    for (const Exchange& e : exchanges) {
        EXPECT_EQ(Exchanged(session, target, e.gdb), e.stub) << e.what;
    }
    EXPECT_FALSE(session.running());
}

}  // namespace
