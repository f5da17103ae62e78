#pragma once

// The table of WebDocuments.mdb exactly as Quorrel makes it: shared by the
// build tool that makes the empty database and the Access conversion.
inline constexpr char CreateWebDocumentsSql[] =
    "CREATE TABLE WebDocuments (\"标题\" TEXT, \"内容\" TEXT)";
