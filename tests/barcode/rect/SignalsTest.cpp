// The platform signals: silent without an observer, every signal seen with one.
#include <gtest/gtest.h>

#include "barcode/BarcodeTestSupport.h"
#include "platform/Signals.h"

namespace {

TEST(Signals, ObserversSeeEverySignalAndStack) {
    dv::Beep(1, 1);  // no observer: nothing happens
    dv::ShowMessage("x", "y", 1);
    {
        bartest::SignalLog outer;
        dv::Beep(440, 100);
        EXPECT_TRUE(outer.otherBeep);
        {
            bartest::SignalLog inner;  // replaces outer while alive
            dv::Beep(1, 1);
            dv::ShowMessage(nullptr, "Bar Count", 1);
            EXPECT_EQ(inner.beeps, 1u);
            EXPECT_EQ(inner.texts, std::vector<std::string>{""});
            EXPECT_EQ(inner.captions, std::vector<std::string>{"Bar Count"});
        }
        dv::ShowMessage("12", nullptr, 0);
        EXPECT_EQ(outer.beeps, 1u);
        EXPECT_EQ(outer.texts, std::vector<std::string>{"12"});
        EXPECT_EQ(outer.captions, std::vector<std::string>{""});
        EXPECT_EQ(outer.types, std::vector<uint32_t>{0});
    }
    EXPECT_EQ(dv::SetSignalObserver(nullptr), nullptr);  // the outer one restored none
}

}  // namespace
