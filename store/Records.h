#pragma once
// Records of what a learning unit's rows say. Plain structures held by shared handles;
// caches and the import share them.
#include "library/LibraryRecords.h"

#include <cstdint>
#include <string>

struct SPersonalLiteratureFolder {
    int32_t RecordState = 1;
    int32_t RowId = 0;
    int32_t CategoryId = -1;
    std::u16string TavId, Name, CategoryGuid, ParentGuid;
    int32_t ParentID = -1;
    int32_t ChildCount = 0;
    int32_t LiteratureCount = 0;
    int32_t VersionInfo = 0, CategoryLiteraVersion = 0, IsModify = 0, IsRelateModify = 0;
    std::u16string Text1, Text2;
    int32_t Zeroed = 0;
    int32_t IsRemoved = 0;
    int32_t Int1 = 0;
    std::u16string Text3;
};

struct SPersonalLiteratureInfo {
    int32_t RecordState = 1;
    int32_t RowId = 0;
    int32_t Int1 = 0;
    int32_t pkid = -1;
    std::u16string TavId, DOI;
    std::u16string Title, Author, Source, DataType, SrcDatabase, PubTime, Keyword, Summary, FilePath, Link, Pub_Year,
        Period, PageCount, Page, ReferenceNum, Roll, City, Organ, Degree, Teacher, ImportantDegree, MediaEn,
        EPubLocate, EPublisher, ETitle, Media, ISSN, Country, Version, Prints, PubLocate, EAuthor, CountryEn,
        VersionEn, MediaAddressEn, DegreeType, Department, ApplicationNum, PublicationDate,
        InternationalClassification, DutyPersonEn, ModifiedDate, Publisher;
    std::u16string CopiedText; // not read from the unit; passed to the library side unchanged
    std::u16string LCID, LiterGuid, InternationalDOI, FileName, TableName;
    int32_t VersionInfo = 0, IsModify = 0;
    std::u16string KnowledgeID, OdataCode;
};

struct SPersonalLiteratureLiteraRelate {
    int32_t RecordState = 1;
    int32_t RowId = 0;
    std::u16string TavId;
    int32_t pkid = 0;
    std::u16string LastReadTime, Adjunct, Remark, Text1, MarkPos, CreateTime;
    int32_t IsRead = 0, Locked = 0, LastReadPos = 0, ReadingProgress = 0, FileType = 0;
    std::u16string LiterGuid;
    int32_t VersionInfo = 0, IsModify = 0;
};

struct SPersonalNoteInfo {
    int32_t RecordState = 1;
    int32_t RowId = 0;
    int32_t ID = 0;
    std::u16string TavId, LiterGuid, Title, CreateTime, ModifyTime, Content, ContentText, Comments, Location, Source,
        Path, PosID, Adjunct, Text1;
    int32_t TypeID = 1; // 10 marks a highlight label
    int32_t CopiedInt = 0;
    int32_t Importance = 0;
    int32_t recycled = 0;
    std::u16string NoteGuid;
    int32_t VersionInfo = 0, IsModify = 0, NoteLabelVersion = 0, IsLabelModify = 0;
    int32_t IsPublic = 3; // read as: 0 -> 3, 1 -> 2, others unchanged
    int32_t IsCompiled = 0;
    std::u16string UnitID, Text2, CopiedText;
    int32_t IsRemoved = 0;
    std::u16string KnowledgeID, UserKey;
};

struct SPersonalWebLiteratureInfo {
    int32_t RecordState = 1;
    int32_t RowId = 0;
    int32_t pkid = 0;
    std::u16string TavId, Title, Author, Link, FilePath, CreateTime, LastReadTime;
};

struct SPersonalRecycleInfo {
    int32_t RecordState = 1;
    int32_t RowId = 0;
    int32_t ID = -1;
    std::u16string Text1;
    int32_t pkid = 0;
    std::u16string Text2, Text3;
    int32_t Int1 = 0;
    std::u16string DelTime;
    int32_t Int2 = 0;
    std::u16string Text4, Text5, Text6;
};
