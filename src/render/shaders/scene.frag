#version 330 core

in vec2 vTexCoord;
in vec2 vQuad;

out vec4 fragColor;

// Each draw kind is its own program, built from this source with SCENE_MODE defined in
// front: a software rasteriser would otherwise run every branch for every fragment.
#define SCENE_MODE_TEXTURE 0
#define SCENE_MODE_CHECKER 1
#define SCENE_MODE_SHADOW 2
#define SCENE_MODE_CARD 3
#define SCENE_MODE_CARD_INTERIOR 4 // the card where it covers every pixel in full
#ifndef SCENE_MODE
#define SCENE_MODE SCENE_MODE_TEXTURE
#endif

const int kMaxDimHoles = 16;

uniform sampler2D uTexture;   // premultiplied; colours leave this program straight
uniform vec4 uTexCrop;        // scale xy, offset zw of the texture coordinates
uniform float uPixelsPerPoint; // screen pixels per card point at zero tilt

uniform float uCheckerCell; // pixels

uniform vec2 uCardSize;     // points
uniform float uCornerRadius;
uniform float uDimAmount;
uniform int uDimCount;
uniform vec4 uDimRects[kMaxDimHoles];  // centre xy, half size zw; card-centred points, y up
uniform vec2 uDimShapes[kMaxDimHoles]; // corner radius, 1 for an ellipse

uniform mat3 uShadowMap;   // shadow-plane points → points of the card's inner rectangle
uniform vec4 uShadowQuad;  // centre xy, size zw of the drawn quad in shadow-plane points
uniform vec2 uShadowHalf;  // half size of the inner rectangle
uniform float uShadowRadius;
uniform float uShadowBlur; // points
uniform vec4 uShadowColor; // rgb, opacity
// Two rectangles (half sizes, centred on the card) where an opaque card hides the shadow
// entirely; zero where nothing is known to be hidden.
uniform vec4 uShadowHidden;

// Filtering happens on premultiplied texels so transparent neighbours do not bleed their
// (meaningless) colour into edges; blending wants straight colour back.
vec4 sampleStraight(vec2 uv)
{
    vec4 c = texture(uTexture, uv);
    return c.a > 0.0 ? vec4(c.rgb / c.a, c.a) : vec4(0.0);
}

float roundedRectDistance(vec2 p, vec2 halfSize, float radius)
{
    vec2 q = abs(p) - halfSize + radius;
    return length(max(q, 0.0)) + min(max(q.x, q.y), 0.0) - radius;
}

// A close approximation of the signed distance to an ellipse; good enough for a one-pixel
// edge ramp.
float ellipseDistance(vec2 p, vec2 radii)
{
    radii = max(radii, vec2(1e-3));
    float k0 = length(p / radii);
    float k1 = length(p / (radii * radii));
    return k1 > 0.0 ? k0 * (k0 - 1.0) / k1 : -min(radii.x, radii.y);
}

// Share of the pixel inside a shape, from a signed distance in any unit.
float coverage(float d)
{
    float perPixel = length(vec2(dFdx(d), dFdy(d)));
    return clamp(0.5 - d / max(perPixel, 1e-6), 0.0, 1.0);
}

// The card's edge ramp. The distance's own screen derivative breaks down at a sharp corner,
// where it depends on which pixels share the GPU's 2 × 2 block, and a square corner pixel
// would come out part background. The card coordinates vary smoothly everywhere, so the
// pixel's extent along the distance's gradient is taken from them instead.
float cardCoverage(vec2 p, float radius)
{
    vec2 halfSize = uCardSize * 0.5;
    vec2 q = abs(p) - halfSize + radius;
    vec2 normal = q.x > 0.0 && q.y > 0.0 ? normalize(q) : (q.x > q.y ? vec2(1.0, 0.0) : vec2(0.0, 1.0));
    normal *= sign(p + 1e-9);
    float perPixel = length(vec2(dot(dFdx(p), normal), dot(dFdy(p), normal)));
    return clamp(0.5 - roundedRectDistance(p, halfSize, radius) / max(perPixel, 1e-6), 0.0, 1.0);
}

vec4 cardColor()
{
    vec2 p = vec2((vTexCoord.x - 0.5) * uCardSize.x, (0.5 - vTexCoord.y) * uCardSize.y);
    vec4 c = sampleStraight(vTexCoord);
#if SCENE_MODE == SCENE_MODE_CARD_INTERIOR
    float inside = 1.0;
#else
    float inside = cardCoverage(p, uCornerRadius);
#endif
    if (uDimAmount > 0.0) {
        float bright = 0.0;
        for (int i = 0; i < uDimCount; ++i) {
            vec2 q = p - uDimRects[i].xy;
            float d = uDimShapes[i].y > 0.5 ? ellipseDistance(q, uDimRects[i].zw)
                                            : roundedRectDistance(q, uDimRects[i].zw, uDimShapes[i].x);
            bright = max(bright, coverage(d));
        }
        c.rgb *= 1.0 - uDimAmount * (1.0 - bright);
    }
    return vec4(c.rgb, c.a * inside);
}

vec4 shadowColor()
{
    vec2 plane = uShadowQuad.xy + vQuad * uShadowQuad.zw;
    vec2 a = abs(plane);
    if ((a.x < uShadowHidden.x && a.y < uShadowHidden.y) || (a.x < uShadowHidden.z && a.y < uShadowHidden.w))
        discard;
    vec3 m = uShadowMap * vec3(plane, 1.0);
    vec2 local = m.xy / (abs(m.z) > 1e-6 ? m.z : 1e-6);
    float d = roundedRectDistance(local, uShadowHalf + uShadowRadius, uShadowRadius);
    // The distance is measured on screen, so the blur keeps its width on every side of a
    // foreshortened footprint.
    float perPixel = length(vec2(dFdx(d), dFdy(d)));
    float dPoints = d / max(perPixel, 1e-6) / uPixelsPerPoint;
    float blur = max(uShadowBlur, 0.5 / uPixelsPerPoint);
    float alpha = m.z > 0.0 ? uShadowColor.a * (1.0 - smoothstep(-blur, blur, dPoints)) : 0.0;
    return vec4(uShadowColor.rgb, alpha);
}

vec4 checkerColor()
{
    vec2 cell = floor(gl_FragCoord.xy / uCheckerCell);
    float odd = mod(cell.x + cell.y, 2.0);
    return vec4(vec3(mix(0.80, 0.62, odd)), 1.0);
}

void main()
{
#if SCENE_MODE == SCENE_MODE_CARD || SCENE_MODE == SCENE_MODE_CARD_INTERIOR
    fragColor = cardColor();
#elif SCENE_MODE == SCENE_MODE_SHADOW
    fragColor = shadowColor();
#elif SCENE_MODE == SCENE_MODE_CHECKER
    fragColor = checkerColor();
#else
    fragColor = sampleStraight(uTexCrop.zw + vTexCoord * uTexCrop.xy);
#endif
}
