// The parameters dialog TParamForm as a native modal dialog: the controls
// are filled from the form, and read back into it when the dialog closes with
// "Обновить" (1) or "Откат" (3).
#include <stdexcept>

#include "Win32Dialog.h"
#include "Win32FolderPicker.h"
#include "Win32Glyphs.h"
#include "Win32UI.h"
#include "platform/win32/WideText.h"
#include "core/ParamQueryUnit.h"
#include "resource.h"

namespace yrn {
namespace {

constexpr SIZE kClient{369, 220};
constexpr int kWarningFontHeight = 16;
constexpr COLORREF kWarningColour = RGB(255, 0, 0);
// The directory field is an edit line with the chooser's button at its right
// end; together they fill the field's place (184, 64, 169, 21).
constexpr int kBrowseWidth = 21;
constexpr int kTypeListDropHeight = 120;
constexpr ControlPlace kPlaces[] = {
    {IDC_LABEL1, 8, 8, 353, 40},
    {IDC_BEVEL2, 8, 55, 353, 2},
    {IDC_LABEL2, 56, 67, 113, 13},
    {IDC_EUPDATEDIR, 184, 64, 169 - kBrowseWidth, 21},
    {IDC_EUPDATEDIR_BROWSE, 184 + 169 - kBrowseWidth, 64, kBrowseWidth, 21},
    {IDC_LABEL3, 56, 91, 117, 13},
    {IDC_CBSWTYPE, 184, 88, 169, 21 + kTypeListDropHeight},
    {IDC_CBISMESSAGE, 56, 112, 297, 17},
    {IDC_CBISNOVERSION, 56, 136, 209, 17},
    {IDC_BEVEL1, 8, 167, 353, 2},
    {IDC_BITBTN3, 8, 176, 91, 25},
    {IDOK, 168, 176, 91, 25},
    {IDCANCEL, 264, 176, 91, 25},
};
constexpr int kTypeFieldHeight = 21;

class ParamDialog : Win32Dialog {
public:
    ParamDialog(HINSTANCE instance, TParamForm& form) : Win32Dialog(instance, nullptr), form_(form) {}
    ~ParamDialog() override {
        if (warningFont_) ::DeleteObject(warningFont_);
    }

    int Run() {
        const INT_PTR result = RunModal(IDD_PARAMFORM);
        if (result <= 0) throw std::runtime_error("the parameters dialog could not be shown");
        return static_cast<int>(result);
    }

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
            case WM_INITDIALOG:
                Layout();
                Fill();
                return TRUE;  // the focus goes to the first field, eUpdateDir
            case WM_COMMAND:
                switch (LOWORD(wParam)) {
                    case IDOK:
                        Accept(1);
                        return TRUE;
                    case IDC_BITBTN3:
                        if (HIWORD(wParam) == BN_CLICKED) Accept(3);
                        return TRUE;
                    case IDCANCEL:  // "Отмена", Escape and the close box
                        ::EndDialog(dialog_, 2);
                        return TRUE;
                    case IDC_EUPDATEDIR_BROWSE:
                        if (HIWORD(wParam) == BN_CLICKED) Browse();
                        return TRUE;
                    default:
                        return FALSE;
                }
            case WM_CTLCOLORSTATIC:
                if (reinterpret_cast<HWND>(lParam) == Item(IDC_LABEL1)) {
                    HDC dc = reinterpret_cast<HDC>(wParam);
                    ::SetTextColor(dc, kWarningColour);
                    ::SetBkMode(dc, TRANSPARENT);
                    return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
                }
                return FALSE;
            default:
                return FALSE;
        }
    }

    void Layout() {
        const int dpi = Lay(kClient, kPlaces);
        FitTypeField(Scaled(kTypeFieldHeight, dpi));
        FitLabelToText(Item(IDC_LABEL3));

        warningFont_ = ::CreateFontW(-Scaled(kWarningFontHeight, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
        if (warningFont_) ::SendMessageW(Item(IDC_LABEL1), WM_SETFONT, reinterpret_cast<WPARAM>(warningFont_), FALSE);

        glyphs_.Set(instance_, Item(IDOK), IDB_OK, IDB_OK_DISABLED);
        glyphs_.Set(instance_, Item(IDCANCEL), IDB_CANCEL, IDB_CANCEL_DISABLED);
        glyphs_.Set(instance_, Item(IDC_BITBTN3), IDB_ROLLBACK, IDB_ROLLBACK_DISABLED);
    }

    // The closed drop-down list is as high as its selection field: that
    // height follows from the item height, so set it and correct once by
    // what the control then measures.
    void FitTypeField(int height) {
        HWND combo = Item(IDC_CBSWTYPE);
        RECT r;
        for (int pass = 0; pass < 2 && ::GetWindowRect(combo, &r); ++pass) {
            const int difference = height - (r.bottom - r.top);
            if (difference == 0) return;
            const LRESULT item = ::SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
            if (item == CB_ERR || item + difference <= 0) return;
            ::SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item + difference);
        }
    }

    void Fill() {
        ::SetWindowTextW(Item(IDC_EUPDATEDIR), Wide(form_.eUpdateDir).c_str());
        HWND combo = Item(IDC_CBSWTYPE);
        for (int i = 0; i < 4; ++i)
            ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(SWTypeItem(i)).c_str()));
        ::SendMessageW(combo, CB_SETCURSEL, form_.cbSWType >= 0 && form_.cbSWType < 4 ? form_.cbSWType : -1, 0);
        ::CheckDlgButton(dialog_, IDC_CBISMESSAGE, form_.cbIsMessage ? BST_CHECKED : BST_UNCHECKED);
        ::CheckDlgButton(dialog_, IDC_CBISNOVERSION, form_.cbIsNoVersion ? BST_CHECKED : BST_UNCHECKED);
    }

    // A run needs an installation type: without one the dialog stays open
    // and the type list opens for the choice.
    void Accept(int result) {
        HWND combo = Item(IDC_CBSWTYPE);
        const LRESULT type = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
        if (type < 0 || type > 3) {
            ::MessageBeep(MB_ICONWARNING);
            ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(combo), TRUE);
            ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
            return;
        }
        form_.eUpdateDir = Narrow(WindowText(Item(IDC_EUPDATEDIR)));
        form_.cbSWType = static_cast<int>(type);
        form_.cbIsMessage = ::IsDlgButtonChecked(dialog_, IDC_CBISMESSAGE) == BST_CHECKED;
        form_.cbIsNoVersion = ::IsDlgButtonChecked(dialog_, IDC_CBISNOVERSION) == BST_CHECKED;
        ::EndDialog(dialog_, result);
    }

    void Browse() {
        HWND edit = Item(IDC_EUPDATEDIR);
        std::wstring folder = WindowText(edit);
        if (PickFolder(dialog_, folder)) ::SetWindowTextW(edit, folder.c_str());
        ::SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    }

    static std::wstring WindowText(HWND window) {
        std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
        text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    TParamForm& form_;
    HFONT warningFont_ = nullptr;
    ButtonGlyphs glyphs_;
};

}  // namespace

int Win32UI::ShowParamForm(TParamForm& form) {
    ParamDialog dialog(instance_, form);
    return dialog.Run();
}

}  // namespace yrn
