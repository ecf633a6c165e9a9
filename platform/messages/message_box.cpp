#include "platform/messages/message_box.h"

#include <atomic>
#include <cstdio>

static void PrintToStandardError(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

static std::atomic<MessagePresenter> currentPresenter{PrintToStandardError};

void ShowMessageBox(const char* text)
{
    currentPresenter.load()(kMessageCaption, text);
}

void SetMessagePresenter(MessagePresenter presenter)
{
    currentPresenter.store(presenter ? presenter : PrintToStandardError);
}
