#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/oripoly.h"
#include "support/test_support.h"

namespace {

using testsupport::captureStdout;

const char* kTriangleVertices = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
const std::string kByteOrderMark = "\xEF\xBB\xBF";

struct ReadResult {
    int result;
    std::string out;
};

ReadResult readText(Polyhedron& m, const std::string& text) {
    std::string path = testsupport::writeTempFile("reader.obj", text);
    ReadResult r{0, ""};
    r.out = captureStdout([&] { r.result = m.readOBJ(path.c_str()); });
    return r;
}

// The console lines that are not the echo of a record.
std::string messages(const std::string& out) {
    std::istringstream in(out);
    std::string line, kept;
    while (std::getline(in, line))
        if (line.empty() || line[0] != '\t') kept += line + "\n";
    return kept;
}

struct Refusal {
    const char* name;
    std::string text;
    std::string message;
};

// Every refused file gives -1 and exactly one line saying why, leaves no
// cut, geometry or numbering behind, and is freed safely.
TEST(ObjReader, RefusesWhatItCannotReadWithOneLine) {
    const std::string tri = kTriangleVertices;
    const std::string quad = tri + "v 1 1 0\n";
    const std::string bigNumber(1500, '7');
    const std::vector<Refusal> cases = {
        {"empty", "", "the file defines no vertex\n"},
        {"comments and blanks only", "# a model\n\n   \n#v 1 2 3\n", "the file defines no vertex\n"},
        {"vertices only", tri, "the file defines no face\n"},
        {"face before any vertex", "f 1 2 3\n" + tri, "line 1: face comes before any vertex\n"},
        {"vertex not read yet", "v 0 0 0\nv 1 0 0\nf 1 2 3\nv 0 1 0\n",
         "line 3: face corner names vertex 3, but only 2 vertices are defined\n"},
        {"vertex 0", tri + "f 0 1 2\n", "line 4: face corner names vertex 0; vertices are numbered from 1\n"},
        {"negative vertex", tri + "f -3 -2 -1\n",
         "line 4: face corner names vertex -3; negative (relative) indices are not supported\n"},
        {"vertex index beyond int", tri + "f 1 2 3000000000\n",
         "line 4: face corner names vertex 3000000000, but only 3 vertices are defined\n"},
        {"vertex index beyond long", tri + "f 1 2 99999999999999999999\n",
         "line 4: face corner names vertex 99999999999999999999, but only 3 vertices are defined\n"},
        {"texture index beyond the texture lines", tri + "vt 0 0\nvt 1 0\nvt 0 1\nf 1/4 2/1 3/2\n",
         "line 7: face corner names texture coordinate 4, but only 3 texture coordinates are defined\n"},
        {"texture index with a single texture line", tri + "vt 0 0\nf 1/1 2/2 3/1\n",
         "line 5: face corner names texture coordinate 2, but only 1 texture coordinate is defined\n"},
        {"negative texture index", tri + "vt 0 0\nf 1/-1 2 3\n",
         "line 5: face corner names texture coordinate -1; negative (relative) indices are not supported\n"},
        {"normal index without normal lines", tri + "f 1/0/1 2 3\n",
         "line 4: face corner names normal 1, but only 0 normals are defined\n"},
        {"corner without a number", tri + "f 1 x 3\n", "line 4: face corner 2 has no vertex number\n"},
        {"last line without a line end", tri + "f 1 2 9",
         "line 4: face corner names vertex 9, but only 3 vertices are defined\n"},
        {"corner starting with a slash", tri + "f /1 2 3\n", "line 4: face corner 1 has no vertex number\n"},
        {"face without corners", tri + "f\n", "line 4: face has 0 corners; a face needs at least 3\n"},
        {"face of one corner", tri + "f 1\n", "line 4: face has 1 corner; a face needs at least 3\n"},
        {"face of two corners", tri + "f 1 2\n", "line 4: face has 2 corners; a face needs at least 3\n"},
        {"corner without a number between tabs", tri + "f\t1\tx\t3\t\n",
         "line 4: face corner 2 has no vertex number\n"},
        {"two corners and trailing blanks", tri + "f 1\t2 \t \r\n",
         "line 4: face has 2 corners; a face needs at least 3\n"},
        {"vertex named twice", quad + "f 1 2 4 2\n", "line 5: face names vertex 2 twice\n"},
        {"nan coordinate", "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n",
         "line 2: vertex coordinate is not a finite number\n"},
        {"infinite coordinate", "v 0 0 -inf\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
         "line 1: vertex coordinate is not a finite number\n"},
        {"overflowing coordinate", "v 0 0 0\nv 1 0 0\nv 0 1e999 0\nf 1 2 3\n",
         "line 3: vertex coordinate is not a finite number\n"},
        {"coordinate too large", "v 0 0 0\nv 1 0 0\nv 0 -1e300 0\nf 1 2 3\n",
         "line 3: vertex coordinate is too large; coordinates must lie within -1e38 .. 1e38\n"},
        {"edge shared by three faces", quad + "v 0 0 1\nf 1 2 3\nf 2 1 4\nf 1 2 5\n",
         "line 8: the edge between vertices 1 and 2 is shared by 3 faces; an edge can join at most two\n"},
        {"edge shared by four faces", quad + "v 0 0 1\nv 0 0 -1\nf 1 2 3\nf 2 1 4\nf 1 2 5\nf 2 1 6\n",
         "line 9: the edge between vertices 1 and 2 is shared by 4 faces; an edge can join at most two\n"},
        {"neighbours oriented apart", quad + "f 1 2 3\nf 1 2 4\n",
         "line 6: face is oriented against its neighbour on line 5 (both run the edge from vertex 1 to "
         "vertex 2)\n"},
        {"two fans meeting at a vertex", tri + "v 0 -1 0\nv -1 0 0\nf 1 2 3\nf 1 4 5\n",
         "line 1: the surface is not one fan of faces around vertex 1; separate parts of it meet there\n"},
        {"closed fan with a flap", testsupport::tetrahedronObj() + "v 3 3 3\nv 3 4 3\nf 1 5 6\n",
         "line 1: the surface is not one fan of faces around vertex 1; separate parts of it meet there\n"},
        {"two closed fans at a vertex",
         testsupport::tetrahedronObj() +
             "v 3 1 -1\nv 3 -1 1\nv 1 -1 -1\nf 1 5 6\nf 5 7 6\nf 1 6 7\nf 1 7 5\n",
         "line 1: the surface is not one fan of faces around vertex 1; separate parts of it meet there\n"},
        // The last line has no line end, so the message starts a line of its own.
        {"two separate parts", tri + "v 5 0 0\nv 6 0 0\nv 5 1 0\nf 1 2 3\nf 4 5 6",
         "line 8: face is not connected to the face on line 7; the surface must be connected\n"},
        {"long comment before a refused line", "#" + std::string(3000, 'c') + "\n" + tri + "f 1 2 4\n",
         "line 5: face corner names vertex 4, but only 3 vertices are defined\n"},
        {"huge corner field", tri + "f 1 2 " + bigNumber + "\n",
         "line 4: face line is longer than 1023 characters\n"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron* m = new Polyhedron;
        std::string path = testsupport::writeTempFile("refused.obj", c.text);
        int result = 0;
        std::string out = captureStdout([&] { result = m->load(path.c_str()); });
        EXPECT_EQ(result, -1);
        EXPECT_EQ(messages(out), c.message);
        EXPECT_TRUE(m->perimeter.empty());
        EXPECT_EQ(m->numFaces, 0);
        for (const Vertex& v : m->vertices) EXPECT_EQ(v.index, -1);
        for (const HalfEdge& h : m->halfEdges) EXPECT_EQ(h.pair, nullptr);
        delete m;
    }
}

TEST(ObjReader, UnreadableFileIsReported) {
    const std::string fifo = testsupport::tempPath("fifo.obj");
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string dir = testsupport::tempPath("");
    const std::string zero = testsupport::symlinkTo("/dev/zero", "zero.obj");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {testsupport::tempPath("no-such-file.obj"), "could not open file\n"},
        {dir, "not a regular file: " + dir + "\n"},
        // Neither a FIFO without a writer nor an endless device may block.
        {fifo, "not a regular file: " + fifo + "\n"},
        {zero, "not a regular file: " + zero + "\n"},
    };
    testsupport::Deadline deadline(20, "the reader blocked on a file that is not a regular file");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Polyhedron m;
        int result = 0;
        EXPECT_EQ(captureStdout([&] { result = m.load(c.first.c_str()); }), c.second);
        EXPECT_EQ(result, -1);
        EXPECT_TRUE(m.vertices.empty() && m.faces.empty());
    }
}

// An echo without its line end (a last line, the first piece of a long
// line) and the progress dots that end a load leave the console inside a
// line: whatever follows, in the same load or the next, starts a line of
// its own.
TEST(ObjReader, WhatFollowsAnOpenLineStartsALineOfItsOwn) {
    const std::string tri = kTriangleVertices;
    const std::string fifo = testsupport::tempPath("open-line-fifo.obj");
    unlink(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string unended = testsupport::writeTempFile("unended.obj", tri + "f 1 2 3");
    const std::string tetrahedron = testsupport::writeTempFile("tetra.obj", testsupport::tetrahedronObj());
    const std::string longTexture = testsupport::writeTempFile(
        "long.obj", tri + "vt 0.5 " + std::string(2000, '5') + "\nvt 0 0\nf 1 2 3\n");
    struct Case {
        const char* name;
        std::vector<std::string> loads;
        std::vector<std::string> lines;  // each must start a line
    };
    const std::vector<Case> cases = {
        {"a last line without its line end, then the next load's refusal",
         {unended, fifo},
         {"3elem\n", "not a regular file: " + fifo + "\n"}},
        {"the dots of a load, then a file that cannot be opened",
         {tetrahedron, testsupport::tempPath("none.obj")},
         {"could not open file\n"}},
        {"the first piece of a long line, then the next record", {longTexture}, {"\tvt 0 0\n"}},
    };
    testsupport::Deadline deadline(20, "the reader blocked on a FIFO");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = captureStdout([&] {
            for (const std::string& path : c.loads) {
                Polyhedron m;
                m.load(path.c_str());
            }
        });
        for (const std::string& line : c.lines) {
            size_t at = out.find(line);
            ASSERT_NE(at, std::string::npos) << out;
            EXPECT_TRUE(at == 0 || out[at - 1] == '\n') << out;
        }
    }
}

TEST(ObjReader, LinkToAFileReadsTheFile) {
    const std::string file = testsupport::writeTempFile("linked.obj", testsupport::tetrahedronObj());
    const std::string link = testsupport::symlinkTo(file, "link.obj");
    Polyhedron m;
    int result = -1;
    captureStdout([&] { result = m.load(link.c_str()); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(m.faces.size(), 4u);
    EXPECT_EQ(m.halfEdges.size(), 12u);
}

TEST(ObjReader, FaceBeforeAnyVertexIsNotEchoed) {
    Polyhedron m;
    ReadResult r = readText(m, "# start\nf 1 2 3\n" + std::string(kTriangleVertices));
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(r.out, "line 2: face comes before any vertex\n");
}

TEST(ObjReader, EchoesRecordsAndWarnsAboutShortOnes) {
    Polyhedron m;
    ReadResult r = readText(m,
                            "# comment\n"
                            "o name\n"
                            "v 1 2 3 4\n"
                            "\n"
                            "v 5 6\n"
                            "   \n"
                            "vn 0 0 1\n"
                            "vn 0 1\n"
                            "vt 0.5\n"
                            "vt 0 1\n"
                            "usemtl paper\n"
                            "v 7 8 9\n"
                            "f 1/1/1 2/2/2 3/1/2\n");
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.out,
              "\tv 1 2 3 4\n"
              "\tv 5 6\n"
              "error! vert coord should be 3D\n"
              "\tvn 0 0 1\n"
              "\tvn 0 1\n"
              "error! normal coord should be 3D\n"
              "\tvt 0.5\n"
              "error! tex coord should be 2D\n"
              "\tvt 0 1\n"
              "\tv 7 8 9\n"
              "\tf 1/1/1 2/2/2 3/1/2\n");
    ASSERT_EQ(m.vertices.size(), 3u);
    std::vector<Vec3> expected = {Vec3(-1, 2, 3), Vec3(-5, 6, 0), Vec3(-7, 8, 9)};
    int i = 0;
    for (const Vertex& v : m.vertices) {
        EXPECT_EQ(v.pos.x, expected[i].x);
        EXPECT_EQ(v.pos.y, expected[i].y);
        EXPECT_EQ(v.pos.z, expected[i].z);
        ++i;
    }
}

struct Accepted {
    const char* name;
    std::string text;
    size_t vertices, faces, halfEdges;
};

// Files the reader takes, with the record counts they give (before pairing).
TEST(ObjReader, AcceptsRecordsInAnyOrderAndCornerForms) {
    const std::string tri = kTriangleVertices;
    const std::vector<Accepted> cases = {
        {"tetrahedron", testsupport::tetrahedronObj(), 4, 4, 12},
        {"vertex lines after face lines", tri + "f 1 2 3\nv 1 1 0\nf 2 4 3\n", 4, 2, 6},
        {"texture line after normal lines", tri + "vn 0 0 1\nvn 0 0 1\nvt 0 0\nf 1/1/2 2/1/1 3/1/2\n", 3, 1,
         3},
        {"texture index equal to the texture count", tri + "vt 0 0\nvt 1 0\nvt 0 1\nvt 1 1\nf 1/4 2/1 3/2\n",
         3, 1, 3},
        // After an empty texture index the normal index is not read.
        {"empty texture index", tri + "f 1//5 2//5 3//5\n", 3, 1, 3},
        {"tab after the keyword", tri + "f\t1 2 3\n", 3, 1, 3},
        {"indented face line", tri + "\tf 1 2 3\n", 3, 1, 3},
        {"runs of spaces", tri + "f   1  2    3\n", 3, 1, 3},
        {"carriage returns", "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3\r\n", 3, 1, 3},
        {"no line end at the end", tri + "f 1 2 3", 3, 1, 3},
        // Exported files often end face lines with a blank, separate fields
        // with tabs, or start with a UTF-8 byte-order mark.
        {"blank before the line end", tri + "f 1 2 3 \n", 3, 1, 3},
        {"blanks, tab and CR before the line end", tri + "f 1 2 3 \t \r\n", 3, 1, 3},
        {"tabs between corners", tri + "f\t1\t2/0\t3//1\n", 3, 1, 3},
        {"byte-order mark, tabs, trailing blanks and CRs",
         kByteOrderMark + "v\t0 0\t0 \r\nv 1\t0 0\t\r\nv 0 1 0\r\nv 1 1 0\r\nf 1\t 2 3 \t\r\nf 2\t4 3\t", 4,
         2, 6},
        {"pentagon", tri + "v 1 1 0\nv 0.5 1.5 0\nf 1 2 4 5 3\n", 5, 1, 5},
        {"two faces back to back", tri + "f 1 2 3\nf 1 3 2\n", 3, 2, 6},
    };
    for (const Accepted& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ReadResult r = readText(m, c.text);
        ASSERT_EQ(r.result, 0);
        EXPECT_EQ(messages(r.out), "");
        EXPECT_EQ(m.vertices.size(), c.vertices);
        EXPECT_EQ(m.faces.size(), c.faces);
        EXPECT_EQ(m.halfEdges.size(), c.halfEdges);
    }
}

// The mark belongs to the file, not to its first line: that line is read
// and echoed as if the mark were not there.
TEST(ObjReader, ByteOrderMarkIsNotPartOfTheFirstLine) {
    Polyhedron m;
    ReadResult r = readText(m, kByteOrderMark + "v 1 2 3\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.out, "\tv 1 2 3\n\tv 1 0 0\n\tv 0 1 0\n\tf 1 2 3\n");
    ASSERT_EQ(m.vertices.size(), 3u);
    const Vec3& p = m.vertices.front().pos;
    EXPECT_EQ(p.x, -1.0);
    EXPECT_EQ(p.y, 2.0);
    EXPECT_EQ(p.z, 3.0);
}

// A vertex read from the file carries the starting values of every field.
TEST(ObjReader, NewVertexStartsWithItsFileValues) {
    Polyhedron m;
    ASSERT_EQ(readText(m, "v 1.5 -2 3e2\nv 1 0 0\nv 0 1 0\nf 1 2 3\n").result, 0);
    const Vertex& v = m.vertices.front();
    EXPECT_EQ(v.pos.x, -1.5);
    EXPECT_EQ(v.pos.y, -2.0);
    EXPECT_EQ(v.pos.z, 300.0);
    EXPECT_EQ(v.offset.x, 0.0);
    EXPECT_EQ(v.offset.y, 0.0);
    EXPECT_EQ(v.offset.z, 0.0);
    EXPECT_DOUBLE_EQ(v.bendDefect, 2 * M_PI);
    EXPECT_GE(v.edge.capacity(), 128u);
    EXPECT_FALSE(v.onCut);
    EXPECT_EQ(v.index, -1);
    EXPECT_EQ(v.cutDistance, DBL_MAX);
    EXPECT_EQ(v.towardCut, nullptr);
}

// Corner i leaves the vertex of corner i for that of corner i-1, so the
// `next` cycle runs against the corners' order in the file.
TEST(ObjReader, FaceLinksRunAgainstTheFileOrder) {
    Polyhedron m;
    ASSERT_EQ(readText(m, std::string(kTriangleVertices) + "v 1 1 0\nf 1 2 4 3\n").result, 0);
    std::vector<Vertex*> vert;
    for (Vertex& v : m.vertices) vert.push_back(&v);
    std::vector<Vertex*> p = {vert[0], vert[1], vert[3], vert[2]};
    std::vector<HalfEdge*> h;
    for (HalfEdge& e : m.halfEdges) h.push_back(&e);
    ASSERT_EQ(h.size(), 4u);
    Face* f = &m.faces.front();
    EXPECT_EQ(f->edge, h[0]);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(h[i]->vert, p[(i + 3) % 4]);
        EXPECT_EQ(h[i]->next, h[(i + 3) % 4]);
        EXPECT_EQ(h[i]->prev, h[(i + 1) % 4]);
        EXPECT_EQ(h[i]->face, f);
        EXPECT_EQ(h[i]->pair, nullptr);
        ASSERT_EQ(p[i]->edge.size(), 1u);
        EXPECT_EQ(p[i]->edge[0], h[i]);
    }
}

// Real files often carry vertices no face uses; they go, with one note.
TEST(ObjReader, DropsUnusedVerticesWithOneNote) {
    struct Case {
        std::string text;
        std::string note;
        size_t kept;
    };
    const std::vector<Case> cases = {
        {"v 9 9 9\n" + std::string(kTriangleVertices) + "f 2 3 4\n", "dropped 1 vertex that no face uses\n",
         3},
        {std::string(kTriangleVertices) + "v 9 9 9\nf 1 2 3\nv 8 8 8\n",
         "dropped 2 vertices that no face uses\n", 3},
        {std::string(kTriangleVertices) + "f 1 2 3\n", "", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Polyhedron m;
        ReadResult r = readText(m, c.text);
        ASSERT_EQ(r.result, 0);
        EXPECT_EQ(messages(r.out), c.note);
        EXPECT_EQ(m.vertices.size(), c.kept);
        for (const Vertex& v : m.vertices) {
            EXPECT_FALSE(v.edge.empty());
            EXPECT_NE(v.pos.x, -9.0);
        }
    }
}

// Lines longer than 1023 characters are read in chunks of 1023; nothing
// overflows, a vertex or face line that does not fit one chunk is refused
// rather than read wrong, and the rest of a long line is never a record.
TEST(ObjReader, LongLinesAreReadInChunks) {
    struct Case {
        const char* name;
        std::string text;
        int result;
        std::string messages;
    };
    const std::string tri = kTriangleVertices;
    const std::string face = "f 1 2" + std::string(1017, ' ') + "3";  // 1023 characters
    const std::vector<Case> cases = {
        {"face line of 1023 characters", tri + face + "\n", 0, ""},
        {"face line of 1024 characters", tri + "f " + face.substr(1) + "\n", -1,
         "line 4: face line is longer than 1023 characters\n"},
        {"vertex line cut inside a number", "v 0 0 0." + std::string(3000, '0') + "1\n" + tri + "f 2 3 4\n",
         -1, "line 1: vertex line is longer than 1023 characters\n"},
        {"long texture line", tri + "vt 0.5 " + std::string(2000, '5') + "\nf 1/1 2/1 3/1\n", 0, ""},
        {"comment running into a vertex", "#" + std::string(1022, 'c') + "v 3 4 5\n" + tri + "f 1 2 3\n", 0,
         ""},
        {"comment running into a face", "#" + std::string(1022, 'c') + "f 1 2 9\n" + tri + "f 1 2 3\n", 0,
         ""},
        {"1023 characters without a line end", tri + face, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Polyhedron m;
        ReadResult r = readText(m, c.text);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(messages(r.out), c.messages);
        if (c.result == 0) {
            EXPECT_EQ(m.vertices.size(), 3u);
        }
    }
}

// A NUL byte hides the rest of its line from parsing but not from counting.
TEST(ObjReader, NulBytesKeepLineNumbers) {
    Polyhedron m;
    std::string text = std::string("# x\0y\n", 6) + kTriangleVertices + "f 1 2 5\n";
    ReadResult r = readText(m, text);
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(messages(r.out), "line 5: face corner names vertex 5, but only 3 vertices are defined\n");
}

// Pairing and boundary closing on the two smallest surfaces.
TEST(ObjReader, ClosedSurfaceNeedsNoBoundary) {
    Polyhedron m;
    std::string path = testsupport::writeTempFile("tetra.obj", testsupport::tetrahedronObj());
    std::string out = captureStdout([&] {
        ASSERT_EQ(m.readOBJ(path.c_str()), 0);
        m.pairHalfEdges();
    });
    EXPECT_EQ(messages(out), "");
    EXPECT_EQ(m.halfEdges.size(), 12u);
    for (HalfEdge& h : m.halfEdges) {
        ASSERT_NE(h.pair, nullptr);
        EXPECT_EQ(h.pair->pair, &h);
        EXPECT_EQ(h.pair->vert, h.prev->vert);
        EXPECT_NE(h.face, nullptr);
        EXPECT_FALSE(h.onCut);
    }
    for (Vertex& v : m.vertices) EXPECT_FALSE(v.onCut);
    // Every face runs counter-clockwise seen from outside the mirrored surface.
    for (Face& f : m.faces) {
        HalfEdge* h = f.edge;
        Vec3 e0 = h->vert->pos - h->prev->vert->pos, e1 = h->next->vert->pos - h->vert->pos;
        Vec3 n = cross(e0, e1), c = h->vert->pos;
        EXPECT_GT(n.x * c.x + n.y * c.y + n.z * c.z, 0.0);
    }
}

TEST(ObjReader, SingleTriangleGetsOneBoundaryCycle) {
    Polyhedron m;
    ASSERT_EQ(testsupport::readObjText(m, std::string(kTriangleVertices) + "f 1 2 3\n"), 0);
    ASSERT_EQ(m.halfEdges.size(), 6u);
    std::vector<HalfEdge*> outside;
    for (HalfEdge& h : m.halfEdges) {
        EXPECT_TRUE(h.onCut);
        ASSERT_NE(h.pair, nullptr);
        EXPECT_EQ(h.pair->pair, &h);
        if (!h.face) outside.push_back(&h);
    }
    ASSERT_EQ(outside.size(), 3u);
    HalfEdge* b = outside[0];
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(b->next, nullptr);
        EXPECT_EQ(b->next->prev, b);
        EXPECT_EQ(b->next->face, nullptr);
        EXPECT_EQ(b->pair->vert, b->prev->vert);
        b = b->next;
    }
    EXPECT_EQ(b, outside[0]);
    for (Vertex& v : m.vertices) EXPECT_TRUE(v.onCut);
}

// On a bigger open surface every boundary loop closes into one cycle that
// runs against the faces along it, and the check finds nothing.
TEST(ObjReader, OpenGridBoundaryIsOneCycle) {
    const int n = 5;
    Polyhedron m;
    std::string path = testsupport::writeTempFile("grid.obj", testsupport::openGridObj(n));
    std::string out = captureStdout([&] {
        ASSERT_EQ(m.readOBJ(path.c_str()), 0);
        m.pairHalfEdges();
    });
    EXPECT_EQ(messages(out), "");
    HalfEdge* start = nullptr;
    size_t outside = 0;
    for (HalfEdge& h : m.halfEdges) {
        if (h.face) continue;
        ++outside;
        if (!start) start = &h;
        ASSERT_NE(h.next, nullptr);
        // b runs from its face partner's head to its tail, and b.next leaves b's head.
        EXPECT_EQ(h.next->prev, &h);
        EXPECT_EQ(h.next->pair->vert, h.vert);
    }
    ASSERT_EQ(outside, size_t(4 * n));
    size_t length = 0;
    HalfEdge* b = start;
    do {
        ++length;
        b = b->next;
    } while (b != start && length <= outside);
    EXPECT_EQ(length, outside);
}

// The checks before pairing stay linear or n log n: a fan of many faces
// around one vertex reads and pairs without trouble.
TEST(ObjReader, WideFanIsAccepted) {
    const int n = 2000;
    std::ostringstream obj;
    obj << "v 0 0 1\n";
    for (int i = 0; i < n; ++i)
        obj << "v " << std::cos(2 * M_PI * i / n) << " " << std::sin(2 * M_PI * i / n) << " 0\n";
    for (int i = 0; i < n; ++i) obj << "f 1 " << i + 2 << " " << (i + 1) % n + 2 << "\n";
    Polyhedron m;
    ASSERT_EQ(testsupport::readObjText(m, obj.str()), 0);
    EXPECT_EQ(m.halfEdges.size(), size_t(3 * n + n));
    EXPECT_EQ(m.vertices.front().edge.size(), size_t(n));
}

}  // namespace
