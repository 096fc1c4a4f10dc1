// Citation keys: the same key for a literature in every format, ASCII, stable when items are added.
#include "library/ExportModel.h"

#include <algorithm>
#include <set>

namespace {

// Base letters of U+00C0..U+024F; '.' where a character has none of its own.
constexpr char kLatinFold[] =
    "aaaaaa.ceeeeiiiidnooooo.ouuuuy..aaaaaa.ceeeeiiiidnooooo.ouuuuy.yaaaaaaccccccccddddeeeeeeeeeegggggggghhhhii"
    "iiiiiiii..jjkkkllllllllllnnnnnnnnnoooooo..rrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzzs..................f"
    ".............oo.............uu............................aaiioouuuuuuuuuu.aaaa....ggkkoooo..j...gg..nnaa"
    "....aaaaeeeeiiiioooorrrruuuusstt..hh......aaeeooooooooyy............................";
static_assert(sizeof kLatinFold - 1 == 0x250 - 0xC0);

constexpr size_t kPartLength = 20;

std::string FoldChar(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return std::string(1, static_cast<char>(c - u'A' + 'a'));
    if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
        return std::string(1, static_cast<char>(c));
    switch (c) {
    case u'Æ': case u'æ': return "ae";
    case u'Þ': case u'þ': return "th";
    case u'ß': return "ss";
    case u'Œ': case u'œ': return "oe";
    case u'Ĳ': case u'ĳ': return "ij";
    default: break;
    }
    if (c >= 0xC0 && c < 0x250 && kLatinFold[c - 0xC0] != '.')
        return std::string(1, kLatinFold[c - 0xC0]);
    return std::string();
}

// The first word of `title` that folds to ASCII, leaving out articles.
std::string FirstWord(const std::u16string& title)
{
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i <= title.size(); ++i) {
        // An apostrophe belongs to its word ("O'Brien's").
        if (i < title.size() && (title[i] == u'\'' || title[i] == u'’'))
            continue;
        const std::string folded = i < title.size() ? FoldChar(title[i]) : std::string();
        // Letters that do not fold (Chinese) end a word as blanks and punctuation do.
        if (!folded.empty()) {
            word += folded;
            inWord = true;
            continue;
        }
        if (inWord && !word.empty() && word != "a" && word != "an" && word != "the")
            return word.substr(0, kPartLength);
        word.clear();
        inWord = false;
    }
    return std::string();
}

std::string FamilyPart(const std::vector<SExportName>& authors)
{
    if (authors.empty())
        return std::string();
    const SExportName& first = authors.front();
    return FoldToAscii(first.literal.empty() ? first.family : first.literal).substr(0, kPartLength);
}

std::string LowerGuid(const std::u16string& guid)
{
    std::string lower = FoldToAscii(guid);
    return lower.empty() ? std::string("0") : lower;
}

std::string BaseKey(const SExportItem& item)
{
    const std::string year = item.year != 0 ? std::to_string(item.year) : std::string();
    std::string family = FamilyPart(item.authors);
    if (family.empty())
        family = FamilyPart(SplitAuthors(item.englishAuthors));
    const auto title = item.fields.find(EExportField::Title);
    std::string word = title == item.fields.end() ? std::string() : FirstWord(title->second);
    if (word.empty())
        word = FirstWord(item.englishTitle);
    if (family.empty() && word.empty())
        return "tav" + LowerGuid(item.literGuid).substr(0, 8) + year;
    return family + year + word;
}

} // namespace

std::string FoldToAscii(const std::u16string& text)
{
    std::string folded;
    for (char16_t c : text)
        folded += FoldChar(c);
    return folded;
}

void AssignKeys(std::vector<SExportItem>& items)
{
    std::vector<SExportItem*> byAge;
    for (SExportItem& item : items) {
        item.key = BaseKey(item);
        byAge.push_back(&item);
    }
    std::stable_sort(byAge.begin(), byAge.end(),
                     [](const SExportItem* a, const SExportItem* b) { return a->addIndex < b->addIndex; });
    // Base keys hold no '-', so a suffixed key never meets a base key.
    std::set<std::string> taken;
    for (SExportItem* item : byAge) {
        if (taken.insert(item->key).second)
            continue;
        const std::string guid = LowerGuid(item->literGuid);
        const std::string base = item->key;
        bool unique = false;
        for (size_t length = 4; !unique && length < guid.size() + 4; length += 4) {
            item->key = base + "-" + guid.substr(0, length);
            unique = taken.insert(item->key).second;
        }
        // Two items with the same GUID: the order of adding tells them apart.
        while (!unique) {
            item->key += "-" + std::to_string(item->addIndex);
            unique = taken.insert(item->key).second;
        }
    }
}
