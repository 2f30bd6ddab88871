// A one-line edit for passwords that shows every typed character as "@" and holds at most 20
// characters (an emoji counts as one).
#pragma once

#include <QLineEdit>

class PasswordEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit PasswordEdit(QWidget* parent = nullptr);

    static constexpr int kMaxCharacters = 20;
};
