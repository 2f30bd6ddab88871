// A one-line edit for passwords that shows every typed character as "@" and holds at most 20
// characters (an emoji counts as one).
#pragma once

#include <QLineEdit>

class TPasswordEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TPasswordEdit(QWidget* parent = nullptr);

    static constexpr int kMaxCharacters = 20;
};
