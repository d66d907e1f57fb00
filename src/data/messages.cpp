// The on-screen message list and the program clock it reads.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "data/data_local.h"

namespace gr {

MessageList messages;

namespace {
double program_seconds = 0;  // advanced by the main loop
}

double program_clock() { return program_seconds; }
void program_clock_set(double seconds) { program_seconds = seconds; }

void messages_clear() {
    int setting = messages.line_setting;
    memset(messages.lines, 0, sizeof messages.lines);
    messages.next = 0;
    messages.shown = 0;
    messages.new_until = 0;
    messages.line_setting = setting;
}

void msg_print(const char* text) {
    size_t len = strlen(text);
    const char* reset = strchr(text, '\x1b') ? "\x1b[0m" : "";
    if (len && text[len - 1] == '\n') log_printf("%s%s", text, reset);
    else log_printf("%s%s\n", text, reset);

    char* line = messages.lines[messages.next];
    snprintf(line, MESSAGE_CHARS, "%s", text);
    messages.next = (messages.next + 1) % MESSAGE_RING;
    if (messages.shown < messages.line_setting) messages.shown++;
    messages.new_until = program_seconds + 2.0;
}

void msg_printf(const char* format, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    msg_print(text);
}

}  // namespace gr
