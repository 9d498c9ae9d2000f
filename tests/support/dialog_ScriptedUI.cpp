#include "dialog_ScriptedUI.h"

namespace yrn::test {

int ScriptedUI::ShowParamForm(TParamForm& form) {
    return onParamForm ? onParamForm(form) : 2;
}

void ScriptedUI::ShowUpdateForm(TUpdateForm& form) {
    RecordingView view;
    view.answers = answers;
    form.AttachView(&view);
    form.FormShow();
    // The window's loop: every posted start message runs its handler.
    for (size_t i = 0; i < view.posted.size(); ++i) form.HandleMessage(view.posted[i].message);
    form.AttachView(nullptr);
    answers = view.answers;
    updateViews.push_back(std::move(view));
}

void ScriptedUI::ShowBackUpForm(TBackUpForm& form) {
    RecordingBackUpView view;
    form.AttachView(&view);
    form.FormShow();
    if (onBackUpForm) onBackUpForm(form);
    form.AttachView(nullptr);
}

}  // namespace yrn::test
