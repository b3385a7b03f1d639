// The program's collection of loaded forms: the close sequence unloads every
// form that is not the main window.
#pragma once

#include <QList>
#include <QWidget>

namespace shell {

QList<QWidget*>& LoadedForms();

// A form registers itself while it is loaded.
class LoadedForm {
public:
    explicit LoadedForm(QWidget* form) : form_(form) { LoadedForms().append(form); }
    ~LoadedForm() { LoadedForms().removeAll(form_); }
    LoadedForm(const LoadedForm&) = delete;
    LoadedForm& operator=(const LoadedForm&) = delete;

private:
    QWidget* form_;
};

inline QList<QWidget*>& LoadedForms() {
    static QList<QWidget*> forms;
    return forms;
}

}  // namespace shell
