#include <cmath>

#include "app/view_support.h"
#include "support/test_support.h"

using guitest::app;
using namespace viewtest;

namespace {

class Picking : public ViewTest {
protected:
    // The only entry of a pick list, or null when it is empty; a list with
    // more than one entry fails the test.
    template <class T>
    T* only(const std::list<T*>& picked) {
        EXPECT_LE(picked.size(), 1u);
        return picked.empty() ? nullptr : picked.front();
    }

    Face* pickFace(orpGLCanvas* c, ScreenPoint p) {
        c->pick(Vec2(p.x, p.y), &model(), PickFace);
        return only(app()->pickedFaces);
    }
    HalfEdge* pickEdge(orpGLCanvas* c, ScreenPoint p) {
        c->pick(Vec2(p.x, p.y), &model(), PickEdge);
        return only(app()->pickedEdges);
    }
    Vertex* pickVertex(orpGLCanvas* c, ScreenPoint p) {
        c->pick(Vec2(p.x, p.y), &model(), PickVertex);
        return only(app()->pickedVertices);
    }
    HalfEdge* pickEtm(orpGLCanvas* c, ScreenPoint p) {
        c->pick(Vec2(p.x, p.y), &model(), PickETM);
        return only(app()->pickedEtmEdges);
    }
};

// Moves a point a few pixels towards another.
ScreenPoint towards(ScreenPoint from, ScreenPoint to, double pixels) {
    double d = std::hypot(to.x - from.x, to.y - from.y);
    return {from.x + (to.x - from.x) * pixels / d, from.y + (to.y - from.y) * pixels / d};
}

TEST_F(Picking, ModelViewAnswersTheKindAskedFor) {
    loadGrid();
    Projection view(modelView());
    // A boundary edge has one face, so the face beside it is the only answer.
    HalfEdge* e = nullptr;
    for (HalfEdge& h : model().halfEdges)
        if (h.face && h.pair && !h.pair->face) e = &h;
    ASSERT_NE(e, nullptr);
    ScreenPoint mid = view.of(0.5 * (e->vert->pos + e->prev->vert->pos));
    ScreenPoint inside = towards(mid, view.of(centroid(*e->face)), 2);

    EXPECT_EQ(pickEdge(modelView(), inside), firstWithEdgeIndex(model(), e->edgeIndex));
    EXPECT_EQ(pickFace(modelView(), inside), e->face);
    EXPECT_EQ(pickVertex(modelView(), inside), nullptr);
    EXPECT_EQ(pickVertex(modelView(), view.of(e->vert->pos)), e->vert);
    // Each pick refills only its own list.
    EXPECT_EQ(app()->pickedEdges.size(), 1u);
    EXPECT_EQ(app()->pickedFaces.size(), 1u);

    // Away from every edge only the face answers.
    ScreenPoint middle = view.of(centroid(*e->face));
    EXPECT_EQ(pickFace(modelView(), middle), e->face);
    EXPECT_EQ(pickEdge(modelView(), middle), nullptr);

    // Hidden faces cannot be picked; edges still can.
    app()->showFacets = false;
    EXPECT_EQ(pickFace(modelView(), middle), nullptr);
    EXPECT_EQ(pickEdge(modelView(), inside), firstWithEdgeIndex(model(), e->edgeIndex));
    app()->showFacets = true;
}

TEST_F(Picking, NearestOfOverlappingFacesWins) {
    load(testsupport::octahedronObj());
    // Every octahedron face has the opposite one behind it. Seen from both
    // sides, so that the face in front is once earlier and once later in the
    // list than the one behind, the face in front is chosen.
    for (double yaw : {0.0, 180.0}) {
        modelView()->yaw = yaw;
        Projection view(modelView());
        for (Face& f : model().faces) {
            if ((yaw == 0 ? f.normal.z : -f.normal.z) <= 0) continue;
            Vec3 c = centroid(f);
            EXPECT_EQ(pickFace(modelView(), view.of(c)), &f) << "yaw " << yaw << ", face " << f.index;
        }
    }
}

TEST_F(Picking, EmptySpaceAndTooManyHitsPickNothing) {
    loadGrid();
    app()->pickedFaces = {&model().faces.front(), &model().faces.back()};
    EXPECT_EQ(pickFace(modelView(), {3, 3}), nullptr);
    EXPECT_EQ(pickEdge(modelView(), {3, 3}), nullptr);

    // The whole model shrunk into the pick region overflows the selection
    // buffer: no answer, rather than one read from a cut-off record.
    load(testsupport::sphereObj(2));
    modelView()->zoom = 0.001;
    ScreenPoint centre = Projection(modelView()).of(Vec3(0, 0, 0));
    EXPECT_EQ(pickFace(modelView(), centre), nullptr);
    EXPECT_EQ(pickEdge(modelView(), centre), nullptr);
    modelView()->zoom = 1.0;
    EXPECT_NE(pickFace(modelView(), centre), nullptr);
}

TEST_F(Picking, PatternViewPicksMoleculesAndPolygonsOnly) {
    developOctahedron();
    Projection sheet(patternView());

    // The widest molecule, picked at its middle, answers the first half-edge
    // of its edge.
    HalfEdge* widest = widestMolecule(model(), false);
    ASSERT_NE(widest, nullptr);
    ScreenPoint molecule = sheet.of(moleculeCentroid(*widest));
    EXPECT_EQ(pickEtm(patternView(), molecule), firstWithEdgeIndex(model(), widest->edgeIndex));
    EXPECT_EQ(pickFace(patternView(), molecule), nullptr);

    Face& f = model().faces.front();
    ScreenPoint polygon = sheet.of(sheetCentroid(f));
    EXPECT_EQ(pickFace(patternView(), polygon), &f);
    EXPECT_EQ(pickEtm(patternView(), polygon), nullptr);
    // Cut lines carry no element's name.
    EXPECT_EQ(pickEdge(patternView(), polygon), nullptr);

    // With the whole sheet inside the pick region, the earliest polygon wins
    // although the later ones lie on top, and the last molecule drawn wins.
    HalfEdge* lastMolecule = nullptr;
    for (HalfEdge& q : model().halfEdges)
        if (drawsMolecule(q)) lastMolecule = &q;
    patternView()->zoom = 0.001;
    ScreenPoint centre = Projection(patternView()).of(Vec2(0, 0));
    EXPECT_EQ(pickFace(patternView(), centre), &model().faces.front());
    EXPECT_EQ(pickEtm(patternView(), centre), firstWithEdgeIndex(model(), lastMolecule->edgeIndex));
    patternView()->zoom = 1.0;

    // Outside the sheet, and before Develop, there is nothing to pick.
    EXPECT_EQ(pickFace(patternView(), {2, 2}), nullptr);
    EXPECT_EQ(pickEtm(patternView(), {2, 2}), nullptr);
    app()->developed = false;
    EXPECT_EQ(pickFace(patternView(), polygon), nullptr);
    app()->developed = true;
}

}  // namespace
