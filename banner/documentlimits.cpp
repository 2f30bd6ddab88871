// Measuring a page before litehtml sees it (see documentlimits.h).
#include "documentlimits.h"

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdint>
#include <gumbo.h>
#include <sys/mman.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace DocumentLimits {

namespace {

// The parser's memory: one reservation of the budget's size, handed out in order and given
// back whole. The parser takes memory without checking the answer, so running out of budget
// jumps back out of it to where parsing began; nothing the jump passes over owns anything.
struct Arena {
    char* begin = nullptr;
    std::size_t used = 0;
    std::jmp_buf overBudget;
};

void* allocate(void* userdata, std::size_t size)
{
    Arena& arena = *static_cast<Arena*>(userdata);
    const std::size_t aligned = (size + 15) & ~std::size_t(15);
    if (aligned < size || aligned > kParserBudget - arena.used)
        std::longjmp(arena.overBudget, 1);
    void* block = arena.begin + arena.used;
    arena.used += aligned;
    return block;
}

void release(void*, void*) {}

GumboOutput* parse(Arena& arena, const QByteArray& html)
{
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = allocate;
    options.deallocator = release;
    options.userdata = &arena;
    if (setjmp(arena.overBudget) != 0)
        return nullptr;
    return gumbo_parse_with_options(&options, html.constData(), std::size_t(html.size()));
}

// The boxes litehtml makes of a text: one for each space or control character, one for each
// character of three UTF-8 bytes (Chinese characters stand alone), one for each other word.
int textBoxes(const char* text, qsizetype& textBytes)
{
    int boxes = 0;
    bool inWord = false;
    for (const char* c = text; *c && textBytes <= kMaxTextBytes; ++c, ++textBytes) {
        const auto byte = static_cast<unsigned char>(*c);
        const bool alone = byte <= 0x20 || (byte & 0xf0) == 0xe0;
        if (alone || !inWord)
            ++boxes;
        inWord = !alone;
    }
    return boxes;
}

struct Walk {
    int boxes = 0;
    int depth = 0;
    qsizetype textBytes = 0;
};

const GumboVector* childrenOf(const GumboNode* node)
{
    switch (node->type) {
    case GUMBO_NODE_DOCUMENT:
        return &node->v.document.children;
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE:
        return &node->v.element.children;
    default:
        return nullptr;
    }
}

// Walks the tree depth first with a stack of its own, and stops at the first limit passed.
// Every node still to visit makes a box too, so the stack never holds more than the limit.
QString measure(const GumboNode* document)
{
    Walk walk;
    std::vector<std::pair<const GumboNode*, int>> pending{{document, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        walk.depth = std::max(walk.depth, depth);
        if (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_CDATA)
            walk.boxes += textBoxes(node->v.text.text, walk.textBytes);
        else if (node->type != GUMBO_NODE_DOCUMENT)
            ++walk.boxes;
        const GumboVector* children = childrenOf(node);
        const qsizetype boxesAtLeast = walk.boxes + qsizetype(pending.size()) + (children ? children->length : 0);
        if (walk.depth > kMaxDepth)
            return u"nested deeper than %1 elements"_s.arg(kMaxDepth);
        if (boxesAtLeast > kMaxBoxes)
            return u"more than %1 elements and words"_s.arg(kMaxBoxes);
        if (walk.textBytes > kMaxTextBytes)
            return u"more than %1 bytes of text"_s.arg(kMaxTextBytes);
        for (unsigned int i = 0; children && i < children->length; ++i)
            pending.emplace_back(static_cast<const GumboNode*>(children->data[i]), depth + 1);
    }
    return QString();
}

// The start tags in the bytes, counted before parsing: the parser's own work grows with the
// square of the elements left open, and every start tag can open one.
qsizetype startTags(const QByteArray& html)
{
    qsizetype tags = 0;
    for (qsizetype i = 0; i + 1 < html.size(); ++i)
        tags += html[i] == '<' && std::isalpha(static_cast<unsigned char>(html[i + 1]));
    return tags;
}

}  // namespace

QString exceeded(const QByteArray& html)
{
    if (startTags(html) > kMaxBoxes)
        return u"more than %1 tags"_s.arg(kMaxBoxes);
    Arena arena;
    void* reserved =
        ::mmap(nullptr, kParserBudget, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED)
        return u"no memory to parse the page"_s;
    arena.begin = static_cast<char*>(reserved);
    const GumboOutput* output = parse(arena, html);
    const QString why =
        output ? measure(output->document) : u"more than %1 bytes of parsed document"_s.arg(kParserBudget);
    ::munmap(reserved, kParserBudget);
    return why;
}

}  // namespace DocumentLimits
