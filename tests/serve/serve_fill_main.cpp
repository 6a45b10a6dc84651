// Fills a database for the browser tests and the benchmark: makes the tables, then puts in
// each line of standard input, a JSON object {"bench","seq","finished","lane","unit","result",
// "line"}, as the collector would.
//     pxr7_serve_fill URL < lines.jsonl
#include "json_text.h"
#include "serve_fill.h"

#include <cstdio>
#include <iostream>

int main(int argc, char** argv) {
    using namespace pxr7;
    PgConnection db;
    if (argc != 2 || !test::openWithTables(db, argv[1])) {
        std::fputs("pxr7_serve_fill: cannot open the database with its tables\n", stderr);
        return 1;
    }
    std::string text;
    while (std::getline(std::cin, text)) {
        const JsonValue in = parseJsonLine(text);
        const test::FillLine line{textOf(in["bench"]), in.value("seq", 0LL), textOf(in["finished"]),
                                  textOf(in["lane"]),  textOf(in["unit"]),   textOf(in["result"]),
                                  textOf(in["line"])};
        if (!test::fill(db, line)) {
            std::fputs("pxr7_serve_fill: a line was refused\n", stderr);
            return 1;
        }
    }
    return 0;
}
