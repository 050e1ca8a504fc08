uniform sampler2D tex;
varying highp vec4 texc;
varying highp vec3 fragmentNormal;
varying highp vec3 fragmentPosition;

void main(void)
{
    highp vec3 light = vec3(1.0, 1.0, -4.0);
    // A floor of 0.1 keeps faces turned away from the light faintly visible.
    highp float diffuse = max(dot(normalize(fragmentNormal), normalize(light - fragmentPosition)), 0.1);
    highp vec3 colour = clamp(texture2D(tex, texc.st).rgb * diffuse, 0.0, 1.0);
    gl_FragColor = vec4(colour, 1.0);
}
