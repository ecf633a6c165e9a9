// Sees every message box the program shows, as a user would: caption, text, buttons, and whether
// it blocks the other windows. By default it presses OK as soon as a box appears; a watcher made
// with kHoldBoxes leaves them open until AnswerOpenBoxes().
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

struct SeenBox {
    QString caption;
    QString text;
    bool okButtonOnly;
    bool blocksOtherWindows;
};

class BoxWatcher : public QObject {
public:
    enum Policy { kAnswerAtOnce, kHoldBoxes };
    explicit BoxWatcher(Policy policy = kAnswerAtOnce);
    ~BoxWatcher() override;

    const std::vector<SeenBox>& Seen() const { return seen_; }
    std::vector<QString> Texts() const;
    int OpenBoxes() const;
    // Presses OK on every box that is open now.
    void AnswerOpenBoxes();
    void SetPolicy(Policy policy) { policy_ = policy; }
    // Called with each box as it appears.
    void OnShown(std::function<void(const SeenBox&)> shown) { shown_ = std::move(shown); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Policy policy_;
    std::vector<SeenBox> seen_;
    std::function<void(const SeenBox&)> shown_;
};
