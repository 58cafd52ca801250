#pragma once

class QWidget;

// A container for the controls of a resizable window or page that keeps them at their
// natural size: a larger host puts its spare room beside (evenly) and below them instead of
// stretching them. Give the container a layout without margins; the host keeps its own.
QWidget *NaturalContent(QWidget *host);
