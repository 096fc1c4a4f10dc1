#include "library/LibraryColumns.h"

namespace {

using L = SLiteratureInfo;
const STextColumn<L> kLiteratureTexts[] = {
    {u"DOI", &L::DOI},
    {u"Title", &L::Title},
    {u"Author", &L::Author},
    {u"Source", &L::Source},
    {u"DataType", &L::DataType},
    {u"SrcDatabase", &L::SrcDatabase},
    {u"PubTime", &L::PubTime},
    {u"Keyword", &L::Keyword},
    {u"Summary", &L::Summary},
    {u"FilePath", &L::FilePath},
    {u"Link", &L::Link},
    {u"Pub_Year", &L::Pub_Year},
    {u"Period", &L::Period},
    {u"PageCount", &L::PageCount},
    {u"Page", &L::Page},
    {u"ReferenceNum", &L::ReferenceNum},
    {u"Roll", &L::Roll},
    {u"City", &L::City},
    {u"Degree", &L::Degree},
    {u"Teacher", &L::Teacher},
    {u"ImportantDegree", &L::ImportantDegree},
    {u"MediaEn", &L::MediaEn},
    {u"EPubLocate", &L::EPubLocate},
    {u"EPublisher", &L::EPublisher},
    {u"ETitle", &L::ETitle},
    {u"Media", &L::Media},
    {u"ISSN", &L::ISSN},
    {u"Country", &L::Country},
    {u"Version", &L::Version},
    {u"Prints", &L::Prints},
    {u"PubLocate", &L::PubLocate},
    {u"EAuthor", &L::EAuthor},
    {u"CountryEn", &L::CountryEn},
    {u"VersionEn", &L::VersionEn},
    {u"MediaAddressEn", &L::MediaAddressEn},
    {u"DegreeType", &L::DegreeType},
    {u"Department", &L::Department},
    {u"ApplicationNum", &L::ApplicationNum},
    {u"PublicationDate", &L::PublicationDate},
    {u"InternationalClassification", &L::InternationalClassification},
    {u"DutyPersonEn", &L::DutyPersonEn},
    {u"ModifiedDate", &L::ModifiedDate},
    {u"Publisher", &L::Publisher},
    {u"CopiedText", &L::CopiedText},
    {u"LCID", &L::LCID},
    {u"InternationalDOI", &L::InternationalDOI},
    {u"FileName", &L::FileName},
    {u"TableName", &L::TableName},
    {u"KnowledgeID", &L::KnowledgeID},
    {u"Organ", &L::Organ},
    {u"OwnerName", &L::OwnerName},
    {u"OdataCode", &L::OdataCode},
};

using R = SLiteratureRelate;
const STextColumn<R> kRelateTexts[] = {
    {u"CreateTime", &R::CreateTime},
    {u"LastReadTime", &R::LastReadTime},
    {u"Adjunct", &R::Adjunct},
    {u"Remark", &R::Remark},
    {u"OwnerName", &R::OwnerName},
    {u"MarkPos", &R::MarkPos},
};
const SIntColumn<R> kRelateInts[] = {
    {u"Locked", &R::Locked},
    {u"LastReadPos", &R::LastReadPos},
    {u"ReadingProgress", &R::ReadingProgress},
    {u"FileType", &R::FileType},
};

using N = SNoteInfo;
const STextColumn<N> kNoteTexts[] = {
    {u"LiterGuid", &N::LiterGuid},
    {u"OwnerName", &N::OwnerName},
    {u"Title", &N::Title},
    {u"Content", &N::Content},
    {u"ContentText", &N::ContentText},
    {u"Comments", &N::Comments},
    {u"Location", &N::Location},
    {u"CreateTime", &N::CreateTime},
    {u"ModifyTime", &N::ModifyTime},
    {u"CopiedText", &N::CopiedText},
    {u"Source", &N::Source},
    {u"Path", &N::Path},
    {u"Adjunct", &N::Adjunct},
    {u"KnowledgeID", &N::KnowledgeID},
    {u"UnitID", &N::UnitID},
};
const SIntColumn<N> kNoteInts[] = {
    {u"Importance", &N::Importance},
    {u"CopiedInt", &N::CopiedInt},
    {u"TypeID", &N::TypeID},
    {u"IsPublic", &N::IsPublic},
    {u"IsCompiled", &N::IsCompiled},
    {u"recycled", &N::recycled},
    {u"IsRemoved", &N::IsRemoved},
    {u"IsModify", &N::IsModify},
    {u"RecycledAgain", &N::RecycledAgain},
};

} // namespace

const SColumnSet<SLiteratureInfo>& LiteratureColumns()
{
    static const SColumnSet<SLiteratureInfo> columns {kLiteratureTexts, {}};
    return columns;
}

const SColumnSet<SLiteratureRelate>& RelateColumns()
{
    static const SColumnSet<SLiteratureRelate> columns {kRelateTexts, kRelateInts};
    return columns;
}

const SColumnSet<SNoteInfo>& NoteColumns()
{
    static const SColumnSet<SNoteInfo> columns {kNoteTexts, kNoteInts};
    return columns;
}
