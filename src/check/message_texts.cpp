#include "check/message_texts.h"

#include "engine/machine.h"

namespace {

enum MessageTextId {
    IDS_DONE_JA, IDS_REBOOT_JA, IDS_NOT_ADMIN_JA, IDS_NOT_APPLICABLE_JA, IDS_FAILED_JA, IDS_FAILED_REBOOT_JA,
    IDS_DONE_EN, IDS_REBOOT_EN, IDS_NOT_ADMIN_EN, IDS_NOT_APPLICABLE_EN, IDS_FAILED_EN, IDS_FAILED_REBOOT_EN,
};

const char* Text(int id) {
    switch (id) {
    case IDS_DONE_JA: return "モジュールのインストールが完了しました。";
    case IDS_REBOOT_JA: return "モジュールのインストールが完了しました。\r\nWindowsを再起動してください。";
    case IDS_NOT_ADMIN_JA:
        return "ユーザの権限がAdministratorでないため、プログラムの実行を中止しました。";
    case IDS_NOT_APPLICABLE_JA: return "本モジュールが適用する環境では、ありませんでした。";
    case IDS_DONE_EN: return "Module installation complete.";
    case IDS_REBOOT_EN:
        return "Module installation complete. To make the changes take effectm restart your computer.";
    case IDS_NOT_ADMIN_EN:
        return "Current user does not have administrator privleges. Installation canceled.";
    case IDS_NOT_APPLICABLE_EN: return "It was not the environment which this module applies.";
    case IDS_FAILED_JA:
        return "モジュールのインストールに失敗しました。一部のモジュールを置き換えられませんでした。";
    case IDS_FAILED_REBOOT_JA:
        return "モジュールのインストールに失敗しました。一部のモジュールを置き換えられませんでした。"
               "Windowsを再起動してください。";
    case IDS_FAILED_EN: return "Module installation failed. Some modules could not be replaced.";
    case IDS_FAILED_REBOOT_EN:
        return "Module installation failed. Some modules could not be replaced. To make the other "
               "changes take effect, restart your computer.";
    default: return "";
    }
}

}  // namespace

const char* MessageText(OutcomeMessage message, int language) {
    // Each language's six texts stand in the order of OutcomeMessage.
    const int first = language == QMX_LANG_ENGLISH ? IDS_DONE_EN : IDS_DONE_JA;
    switch (message) {
    case OutcomeMessage::kDone: return Text(first);
    case OutcomeMessage::kReboot: return Text(first + 1);
    case OutcomeMessage::kNotAdmin: return Text(first + 2);
    case OutcomeMessage::kNotApplicable: return Text(first + 3);
    case OutcomeMessage::kFailed: return Text(first + 4);
    case OutcomeMessage::kFailedReboot: return Text(first + 5);
    }
    return "";
}
