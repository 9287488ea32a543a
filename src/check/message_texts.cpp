#include "check/message_texts.h"

#include "engine/outcome.h"

const char* MessageText(uint32_t id) {
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
