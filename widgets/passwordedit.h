// A one-line edit for passwords that shows every typed character as "@".
#pragma once

#include <QLineEdit>

class TPasswordEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TPasswordEdit(QWidget* parent = nullptr);
};
