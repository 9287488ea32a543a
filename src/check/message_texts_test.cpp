// The package check prints the installer's messages from its own copy of the
// texts: every one must read exactly as the installer's string table has it.
#include "check/message_texts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/machine.h"
#include "ui/outcome_strings.h"

namespace {

std::string TableText(UINT id) {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleA(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0) return "<none>";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr);
    return utf8;
}

TEST(MessageTexts, ReadAsTheStringTableHasThem) {
    const OutcomeMessage messages[] = {OutcomeMessage::kDone,          OutcomeMessage::kReboot,
                                       OutcomeMessage::kNotAdmin,      OutcomeMessage::kNotApplicable,
                                       OutcomeMessage::kFailed,        OutcomeMessage::kFailedReboot};
    for (int language : {QMX_LANG_ENGLISH, QMX_LANG_JAPANESE}) {
        for (OutcomeMessage message : messages) {
            const UINT id = OutcomeStringId(message, language);
            EXPECT_EQ(TableText(id), MessageText(message, language)) << id;
        }
    }
}

}  // namespace
