#include "check/message_texts.h"

#include "engine/site/machine.h"

namespace {

// Each language's texts in the order of OutcomeMessage.
const char* const kTexts[2][10] = {
    {
        "モジュールのインストールが完了しました。",
        "モジュールのインストールが完了しました。\r\nWindowsを再起動してください。",
        "ユーザの権限がAdministratorでないため、プログラムの実行を中止しました。",
        "本モジュールが適用する環境では、ありませんでした。",
        "モジュールのインストールに失敗しました。一部のモジュールを置き換えられませんでした。",
        "モジュールのインストールに失敗しました。一部のモジュールを置き換えられませんでした。"
        "Windowsを再起動してください。",
        "以前のモジュールに戻しました。",
        "Windowsを再起動すると、以前のモジュールに戻ります。\r\nWindowsを再起動してください。",
        "元に戻すモジュールはありませんでした。",
        "一部のモジュールを以前のモジュールに戻せませんでした。",
    },
    {
        "Module installation complete.",
        "Module installation complete. To make the changes take effectm restart your computer.",
        "Current user does not have administrator privleges. Installation canceled.",
        "It was not the environment which this module applies.",
        "Module installation failed. Some modules could not be replaced.",
        "Module installation failed. Some modules could not be replaced. To make the other "
        "changes take effect, restart your computer.",
        "The previous modules were restored.",
        "The previous modules will be restored when you restart your computer. Restart your computer.",
        "There was nothing to undo.",
        "Undo failed. Some modules could not be restored.",
    },
};

}  // namespace

const char* MessageText(OutcomeMessage message, int language) {
    const unsigned index = static_cast<unsigned>(message);
    if (index >= sizeof kTexts[0] / sizeof kTexts[0][0]) return "";
    return kTexts[language == QMX_LANG_ENGLISH ? 1 : 0][index];
}
