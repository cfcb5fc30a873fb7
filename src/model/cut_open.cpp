#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "model/oripoly.h"

namespace {

HalfEdge* appendCopy(std::list<HalfEdge>& halfEdges, const HalfEdge& source) {
    halfEdges.push_back(source);
    return &halfEdges.back();
}

// As push_back would grow it, but now.
void roomForOneMore(std::vector<HalfEdge*>& edges) {
    if (edges.capacity() == edges.size()) edges.reserve(std::max<size_t>(2 * edges.size(), 1));
}

// The walk turns at the first cut edge met when turning around b's head.
HalfEdge* nextCutAround(HalfEdge* b) {
    HalfEdge* x = b->next;
    while (!x->onCut) x = x->pair->next;
    return x;
}

// Gives the corner (b, c) at b's head its own copy of the vertex, carrying
// the faces between b and c.
void openCorner(Polyhedron& model, HalfEdge* b) {
    Vertex* v = b->vert;
    v->edge.clear();
    model.vertices.push_back(*v);
    Vertex* copy = &model.vertices.back();
    b->vert = copy;

    HalfEdge* u = b->next;
    while (!u->onCut) {
        u->pair->vert = copy;
        copy->edge.push_back(u);
        u = u->pair->next;
    }
    copy->edge.push_back(u);
    if (!u->pair->face) u->pair->vert = copy;
    copy->onCut = true;

    if (b->pair->face) {
        HalfEdge* partner = appendCopy(model.halfEdges, *b);
        b->pair = partner;
        copy->edge.push_back(partner);
        partner->pair = b;
        partner->next = partner->prev = nullptr;
        partner->face = nullptr;
        partner->onCut = true;
        partner->vert = b->prev->vert;
    } else {
        // The face-less half of a boundary edge leaves this corner too; the
        // old vertex's list it was registered in has just been emptied.
        copy->edge.push_back(b->pair);
    }
}

void linkOpenedBoundary(HalfEdge* b) {
    HalfEdge* x = b->next;
    while (x->pair->face) x = x->pair->next;
    b->pair->prev = x->pair;

    HalfEdge* y = b->prev;
    while (y->pair->face) y = y->pair->prev;
    b->pair->next = y->pair;
}

}  // namespace

void Polyhedron::prepare() {
    if (prepared) return;
    prepared = true;

    cutOpen();
    addBoundaryDigons();
    updateGeometry();
    checkTopology();

    for (Face& f : faces) {
        f.edge->layoutFace(Vec2(1.0, 0.0));
        f.translation = Vec2(0.0, 0.0);
    }
}

void Polyhedron::cutOpen() {
    // Whether an entry lies on the mesh boundary is judged before any partner
    // is made, since the partners are face-less as well.
    std::unordered_set<const HalfEdge*> onBoundary;
    for (HalfEdge* b : perimeter)
        if (!b->pair->face) onBoundary.insert(b);

    // A corner between two boundary edges stays closed, unless another corner
    // at the same vertex opens: where the boundary passes a vertex more than
    // once, that would empty the vertex under the closed corner.
    std::unordered_set<const Vertex*> opening;
    for (HalfEdge* b : perimeter) {
        HalfEdge* c = nextCutAround(b);
        if (!onBoundary.count(b) || !onBoundary.count(c)) opening.insert(b->vert);
    }

    for (HalfEdge* b : perimeter)
        if (opening.count(b->vert)) openCorner(*this, b);

    for (HalfEdge* b : perimeter) linkOpenedBoundary(b);

    vertices.remove_if([](const Vertex& v) { return v.edge.empty(); });

    updateGeometry();
    numberElements();
}

void Polyhedron::addBoundaryDigons() {
    // Half-edges appended in this loop already have their face and are passed over.
    for (HalfEdge& r : halfEdges) {
        if (r.face) continue;
        halfEdges.push_back(HalfEdge());
        HalfEdge* b = &halfEdges.back();
        faces.push_back(Face());
        Face* f = &faces.back();

        r.face = b->face = f;
        f->edge = &r;
        f->boundaryDigon = true;
        r.next = r.prev = b;
        b->next = b->prev = &r;
        b->vert = r.pair->vert;
        r.vert->edge.push_back(b);
        r.onCut = false;
        r.pair->onCut = false;
        b->onCut = true;
        b->pair = nullptr;
    }

    closeBoundary();
    numberElements();

    for (HalfEdge*& h : perimeter)
        if (h->pair->face && !h->pair->next->pair->face) h = h->pair->next;

    markCut();
}

HalfEdge* Polyhedron::splitIntoDigon(HalfEdge* h) {
    if (!h || !h->face || !h->pair || !h->pair->face) return nullptr;
    HalfEdge* t = h->pair;

    // Everything the split needs is had before anything changes, so that
    // memory running out leaves the model as it was.
    std::list<HalfEdge> madeHalfEdges;
    std::list<Face> madeFaces;
    appendCopy(madeHalfEdges, *h);
    appendCopy(madeHalfEdges, *h);
    madeFaces.push_back(Face());
    roomForOneMore(t->vert->edge);
    roomForOneMore(h->vert->edge);
    halfEdges.splice(halfEdges.end(), madeHalfEdges);
    faces.splice(faces.end(), madeFaces);
    HalfEdge* b = &halfEdges.back();
    HalfEdge* a = &*std::prev(halfEdges.end(), 2);
    Face* f = &faces.back();

    a->face = b->face = f;
    f->edge = a;
    a->next = a->prev = b;
    b->next = b->prev = a;

    for (HalfEdge* x : {a, b}) {
        x->cornerCos = 1.0;
        x->cornerSin = 0.0;
        x->cornerAngle = 0.0;
    }
    a->length = h->length;
    b->length = t->length;

    a->vert = t->vert;
    b->vert = h->vert;
    a->vert->edge.push_back(b);
    b->vert->edge.push_back(a);

    h->pair = a;
    a->pair = h;
    t->pair = b;
    b->pair = t;

    if (h->onCut) f->boundaryDigon = true;

    // The digon sits between the two copies of the edge on the sheet, pushed
    // sideways when the copies are turned against each other.
    Vec2 mh = h->face->translation + 0.5 * (h->corner + h->prev->corner);
    Vec2 mt = t->face->translation + 0.5 * (t->corner + t->prev->corner);
    Vec2 d = h->direction - t->direction;
    d.normalize();
    Vec2 hd = h->direction;
    Vec2 n = -t->direction;
    double angle = std::atan2(n.x * hd.y - n.y * hd.x, n.x * hd.x + n.y * hd.y);
    Vec2 gap = mh - mt;
    double halfGap = 0.5 * std::sqrt(gap.x * gap.x + gap.y * gap.y);
    f->translation = 0.5 * (mh + mt) + (halfGap * std::tan(angle / 4.0)) * d;

    a->corner = -(0.5 * a->length) * d;
    b->corner = (0.5 * b->length) * d;
    a->direction = -d;
    b->direction = d;

    a->computeTuckAngle();
    b->computeTuckAngle();
    return b;
}

bool Polyhedron::undoSplit(HalfEdge* h) {
    HalfEdge* a = h ? h->pair : nullptr;
    if (!a || !a->next || halfEdges.size() < 2 || faces.empty()) return false;
    HalfEdge* b = a->next;
    if (&halfEdges.back() != b || &*std::prev(halfEdges.end(), 2) != a || &faces.back() != a->face)
        return false;
    // The split registered b at h's tail, then a at h's head: taken off in
    // the reverse order, which also holds where both are one vertex.
    std::vector<HalfEdge*>& atHead = b->vert->edge;
    std::vector<HalfEdge*>& atTail = a->vert->edge;
    if (atHead.empty() || atHead.back() != a) return false;
    atHead.pop_back();
    if (atTail.empty() || atTail.back() != b) {
        atHead.push_back(a);
        return false;
    }
    atTail.pop_back();
    HalfEdge* t = b->pair;
    h->pair = t;
    t->pair = h;
    faces.pop_back();
    halfEdges.pop_back();
    halfEdges.pop_back();
    return true;
}

namespace {

template <class T>
typename std::list<T>::iterator positionOf(std::list<T>& list, const T* record) {
    auto it = list.begin();
    while (it != list.end() && &*it != record) ++it;
    return it;
}

// Takes h out of the array, returning where it stood (-1 if it was not there).
long takeEntry(std::vector<HalfEdge*>& list, HalfEdge* h) {
    auto it = std::find(list.begin(), list.end(), h);
    if (it == list.end()) return -1;
    long slot = it - list.begin();
    list.erase(it);
    return slot;
}

void putEntry(std::vector<HalfEdge*>& list, HalfEdge* h, long slot) {
    if (slot >= 0) list.insert(list.begin() + slot, h);
}

}  // namespace

bool Polyhedron::takeDigonOut(HalfEdge* h, RemovedDigon& out) {
    if (!h || !h->face) return false;
    HalfEdge* n = h->next;
    if (n->next != h || h->onCut || n->onCut) return false;
    auto first = positionOf(halfEdges, h), second = positionOf(halfEdges, n);
    auto face = positionOf(faces, h->face);
    if (first == halfEdges.end() || second == halfEdges.end() || face == faces.end()) return false;

    HalfEdge* p = h->pair;
    HalfEdge* q = n->pair;
    p->pair = q;
    q->pair = p;
    out.firstSlot = takeEntry(p->vert->edge, h);
    out.secondSlot = takeEntry(q->vert->edge, n);

    // Taken out in this order and put back in the reverse one, each record
    // goes back before the one that followed it, even where that is the other.
    out.afterFirst = std::next(first);
    out.halfEdges.splice(out.halfEdges.end(), halfEdges, first);
    out.afterSecond = std::next(second);
    out.halfEdges.splice(out.halfEdges.end(), halfEdges, second);
    out.afterFace = std::next(face);
    out.faces.splice(out.faces.end(), faces, face);
    return true;
}

void Polyhedron::putDigonBack(RemovedDigon& out) {
    if (out.halfEdges.size() != 2 || out.faces.size() != 1) return;
    faces.splice(out.afterFace, out.faces, out.faces.begin());
    HalfEdge* h = &out.halfEdges.front();
    HalfEdge* n = &out.halfEdges.back();
    halfEdges.splice(out.afterSecond, out.halfEdges, std::prev(out.halfEdges.end()));
    halfEdges.splice(out.afterFirst, out.halfEdges, out.halfEdges.begin());

    HalfEdge* p = h->pair;
    HalfEdge* q = n->pair;
    putEntry(q->vert->edge, n, out.secondSlot);
    putEntry(p->vert->edge, h, out.firstSlot);
    p->pair = h;
    q->pair = n;
}

void Polyhedron::removeDigon(HalfEdge* h) {
    // The records set aside go with `removed`.
    RemovedDigon removed;
    takeDigonOut(h, removed);
}
